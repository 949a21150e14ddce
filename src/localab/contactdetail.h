#pragma once

#include "flatperson.h"

#include <QString>
#include <QStringList>
#include <QVariant>

// What the contact detail window shows of a downloaded person: its name line, and one row per
// value (property column, value column). Records may come from a peer and break the usual shape;
// every value gives zero or more whole rows, so the two columns always have equal length.
class ContactDetail
{
public:
    ContactDetail() = delete;

    struct Rows
    {
        QStringList keys;   // property names (first row of a property), else empty texts
        QStringList values; // the values as text
    };

    // First name and a space, last name, organization (alone, or in " [...]" after a name), else
    // the first work e-mail, else the first home e-mail; may be empty.
    static QString nameOf(const QVariant &person);

    // The rows of a person, keys in ascending (case-sensitive) order of property names, without
    // UID, creation and modification dates. Values of kinds that cannot be shown are logged.
    static Rows rowsOf(const QVariant &person);

    // A date as the window shows it: "2026-12-06 21:15:07 +0100", in local time.
    static QString dateText(const QDateTime &date);
};
