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

    // First and last name, company and every e-mail address, joined by spaces: what the window's
    // find field looks in.
    static QString searchText(const QVariant &person);

    // A moment as the window shows it: date and time in local time, in the user's locale.
    static QString dateText(const QDateTime &date);
    // A calendar day (a birthday) in the user's locale, the same day in every time zone; day and
    // month only in the year that stands for an unknown one.
    static QString dayText(const QDate &day);
};
