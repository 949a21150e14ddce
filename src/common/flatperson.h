#pragma once

#include <QMap>
#include <QVariant>

// The record graph that travels: plain Qt values, so that it needs no address book to be read.
//
// FlatPerson   property name -> value. A single value is a QString, QDateTime (dates), qint64
//              (numbers) or QByteArray (data), passed on with its kind. A multi-value is a
//              QVariantList of LabeledValue.
// LabeledValue one pair: label -> value (a QString, or a QVariantMap of texts for an address).
// RecordList   the ordered list of FlatPerson ("ABData"); the remote address book.
// OwnerCard    field tag -> text ("pData").
//
// Records from a peer may break this shape; readers check kinds and never assume them.
using FlatPerson = QVariantMap;
using LabeledValue = QVariantMap;
using RecordList = QVariantList;
using OwnerCard = QMap<int, QString>;
