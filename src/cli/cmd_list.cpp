#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "cliaddressbook.h"
#include "commands.h"
#include "jsonstream.h"
#include "printabletext.h"

#include <QFile>
#include <QTextStream>

#include <memory>

namespace {

void printListHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli list [--json] [--addressbook DIR]\n"
           "Prints the persons and groups of the address book.\n\n"
           "  --json             one JSON document: {\"groups\": [...], \"persons\": [...]}\n"
           "  --addressbook DIR  use this address book folder instead of the user's\n";
}

QString displayName(const ABPerson *person)
{
    QStringList parts;
    for (const QString *property : {&kABFirstNameProperty, &kABLastNameProperty}) {
        const QString part = person->valueForProperty(*property).toString();
        if (!part.isEmpty())
            parts.append(part);
    }
    if (parts.isEmpty())
        return person->valueForProperty(kABOrganizationProperty).toString();
    return parts.join(u' ');
}

const char *formName(ABGroup::Form form)
{
    switch (form) {
    case ABGroup::AppleCard:
        return "card";
    case ABGroup::KindCard:
        return "kind";
    case ABGroup::Category:
        return "category";
    }
    return "card";
}

QVariantList entries(const ABPerson *person, const QString &property)
{
    QVariantList list;
    const ABMultiValue multi = ABMultiValue::fromVariant(person->valueForProperty(property));
    for (int i = 0; i < multi.count(); ++i)
        list.append(QVariantMap{{QStringLiteral("label"), multi.labelAtIndex(i)}, {QStringLiteral("value"), multi.valueAtIndex(i)}});
    return list;
}

// The whole book as one JSON document, written person by person: only one person's object is
// ever built.
int writeJson(const QList<ABPerson *> &persons, const QList<ABGroup *> &groups)
{
    QFile standardOutput;
    if (!standardOutput.open(stdout, QIODevice::WriteOnly))
        return CliFailure;
    JsonStream json(&standardOutput, JsonStream::Dates::Seconds);
    json.raw("{\n    \"groups\": [");
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const ABGroup *group = groups.at(i);
        QVariantList members;
        for (const ABPerson *member : group->members())
            members.append(member->uniqueId());
        json.raw(i == 0 ? "\n        " : ",\n        ");
        json.value(QVariantMap{{QStringLiteral("uid"), group->uniqueId()},
                               {QStringLiteral("name"), group->name()},
                               {QStringLiteral("form"), QString::fromLatin1(formName(group->form()))},
                               {QStringLiteral("members"), members}});
    }
    json.raw(groups.isEmpty() ? "],\n    \"persons\": [" : "\n    ],\n    \"persons\": [");
    for (qsizetype i = 0; i < persons.size(); ++i) {
        const ABPerson *person = persons.at(i);
        QVariantMap object{{QStringLiteral("uid"), person->uniqueId()}, {QStringLiteral("name"), displayName(person)}};
        for (const QString &property : ABAddressBook::properties()) {
            const QVariant value = person->valueForProperty(property);
            if (value.isValid())
                object.insert(property, ABMultiValue::isMultiValue(value) ? QVariant(entries(person, property)) : value);
        }
        QVariantList parents;
        for (const ABGroup *group : person->parentGroups())
            parents.append(group->uniqueId());
        object.insert(QStringLiteral("groups"), parents);
        json.raw(i == 0 ? "\n        " : ",\n        ");
        json.value(object);
    }
    json.raw(persons.isEmpty() ? "]\n}\n" : "\n    ]\n}\n");
    return json.flush() ? CliOk : CliFailure;
}


} // namespace

int cmdList(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString directory;
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printListHelp(out);
            return CliOk;
        }
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--addressbook") && i + 1 < args.size()) {
            directory = args.at(++i);
        } else {
            err << "zorbix-cli list: unexpected argument " << arg << "\n";
            printListHelp(err);
            return CliUsage;
        }
    }
    std::unique_ptr<ABAddressBook> own;
    ABAddressBook *book = openCliAddressBook(directory, "list", err, own);
    if (!book)
        return CliFailure;
    const QList<ABPerson *> persons = book->people();
    const QList<ABGroup *> groups = book->groups();
    if (json)
        return writeJson(persons, groups);
    out << "Persons (" << persons.size() << "):\n";
    for (const ABPerson *person : persons) {
        out << "  " << printableText(displayName(person));
        const ABMultiValue emails = ABMultiValue::fromVariant(person->valueForProperty(kABEmailProperty));
        if (emails.count())
            out << " <" << printableText(emails.valueAtIndex(0).toString()) << ">";
        out << "\n";
    }
    out << "Groups (" << groups.size() << "):\n";
    for (const ABGroup *group : groups)
        out << "  " << printableText(group->name()) << " (" << group->members().size() << ")\n";
    return CliOk;
}
