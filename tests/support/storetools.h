#pragma once

// The store as tests look at it: files on disk, records by name, and persons made in a line.
#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abperson.h"

#include <QDir>
#include <QFile>
#include <QMap>

namespace StoreTools {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of a folder (those matching filters, if any) with their bytes.
inline QMap<QString, QByteArray> filesOf(const QString &directory, const QStringList &filters = {})
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(directory).entryList(filters, QDir::Files))
        files.insert(name, readAll(directory + u'/' + name));
    return files;
}

inline QMap<QString, QByteArray> cardFiles(const QString &directory)
{
    return filesOf(directory, {QStringLiteral("*.vcf")});
}

// The first person of that first name, and of that last name unless it is null.
inline ABPerson *personNamed(const ABAddressBook &book, const QString &first, const QString &last = QString())
{
    for (ABPerson *person : book.people()) {
        if (person->valueForProperty(kABFirstNameProperty).toString() == first &&
            (last.isNull() || person->valueForProperty(kABLastNameProperty).toString() == last))
            return person;
    }
    return nullptr;
}

inline ABGroup *groupNamed(const ABAddressBook &book, const QString &name)
{
    for (ABGroup *group : book.groups()) {
        if (group->name() == name)
            return group;
    }
    return nullptr;
}

inline QStringList sortedGroupsOf(const ABPerson *person)
{
    QStringList names;
    for (const ABGroup *group : person->parentGroups())
        names.append(group->name());
    names.sort();
    return names;
}

// A new person with these names (a null one is left out) and values.
inline ABPerson *addPerson(ABAddressBook &book, const QString &first, const QString &last = QString(),
                           const QVariantMap &more = {})
{
    ABPerson *person = book.addRecord(ABAddressBook::newPerson());
    if (!first.isNull())
        person->setValue(first, kABFirstNameProperty);
    if (!last.isNull())
        person->setValue(last, kABLastNameProperty);
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        person->setValue(it.value(), it.key());
    return person;
}

} // namespace StoreTools
