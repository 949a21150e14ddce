#include "abaddressbook.h"
#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "cliaddressbook.h"
#include "commands.h"
#include "jsonstream.h"
#include "printabletext.h"

#include <QBuffer>
#include <QFile>
#include <QtConcurrent/QtConcurrentMap>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <malloc.h>

namespace {

// The process ends right after the listing: freeing every record would take longer than printing
// them. (Still reachable from here, so no leak checker counts it.)
ABAddressBook *keptUntilExit = nullptr;

void printListHelp(QTextStream &out)
{
    out << "Usage: zorbix-cli list [--json] [--addressbook DIR]\n"
           "Prints the persons and groups of the address book.\n\n"
           "  --json             one JSON document: {\"groups\": [...], \"persons\": [...]}\n"
           "  --addressbook DIR  use this address book folder instead of the user's\n";
}

QString displayName(const ABPerson *person)
{
    const QVariantMap &values = person->travellingValues();
    const QString first = values.value(kABFirstNameProperty).toString();
    const QString last = values.value(kABLastNameProperty).toString();
    if (first.isEmpty() && last.isEmpty())
        return values.value(kABOrganizationProperty).toString();
    if (first.isEmpty() || last.isEmpty())
        return first.isEmpty() ? last : first;
    return first + u' ' + last;
}

// The first e-mail address (null when there is none); the store keeps a multi-value as a list of one-pair maps.
QString firstEmail(const ABPerson *person)
{
    const QVariantList emails = person->travellingValues().value(kABEmailProperty).toList();
    if (emails.isEmpty())
        return QString();
    const QVariantMap pair = emails.first().toMap();
    const QString email = pair.isEmpty() ? QString() : pair.first().toString();
    return email.isNull() ? QString(u""_qs) : email;
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

// The text of a value, read in place when it is one: a copy would count a reference, a locked
// write to the record's memory, which the listing otherwise only reads.
QStringView textView(const QVariant *value, QString &converted)
{
    if (!value)
        return QStringView();
    if (value->typeId() == QMetaType::QString)
        return *static_cast<const QString *>(value->constData());
    converted = value->toString();
    return converted;
}

// A multi-value, stored as a list of one-pair maps, as [{"label": ..., "value": ...}, ...].
void writeEntries(JsonStream &json, const QVariantList &entries)
{
    json.raw("[");
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QVariant &entry = entries.at(i);
        QVariantMap converted;
        const QVariantMap &pair = entry.typeId() == QMetaType::QVariantMap
                                      ? *static_cast<const QVariantMap *>(entry.constData())
                                      : (converted = entry.toMap());
        json.raw(i == 0 ? "{\"label\":" : ",{\"label\":");
        json.string(pair.isEmpty() ? QStringView() : QStringView(pair.firstKey()));
        json.raw(",\"value\":");
        json.value(pair.isEmpty() ? QVariant() : pair.first());
        json.raw("}");
    }
    json.raw("]");
}

// [uid, ...] of records.
template <typename Records>
void writeUids(JsonStream &json, const Records &records)
{
    json.raw("[");
    bool first = true;
    for (const auto *record : records) {
        json.raw(first ? "" : ",");
        first = false;
        json.string(record->uniqueId());
    }
    json.raw("]");
}

// A person's keys in the order a map of them would have (texts sorted), so that each person is
// written straight from the record without building an object first.
struct PersonKey
{
    enum Kind { Value, Uid, Name, Groups };
    enum NamePart { NoPart, First, Last, Organization };
    QString name;
    Kind kind;
    NamePart part = NoPart;
    QByteArray json = {}; // the name as JSON text and a colon: the same for every person
};

const std::vector<PersonKey> &personKeys()
{
    static const std::vector<PersonKey> keys = [] {
        std::vector<PersonKey> all;
        for (const QString &property : ABAddressBook::properties()) {
            const PersonKey::NamePart part = property == kABFirstNameProperty      ? PersonKey::First
                                             : property == kABLastNameProperty     ? PersonKey::Last
                                             : property == kABOrganizationProperty ? PersonKey::Organization
                                                                                   : PersonKey::NoPart;
            all.push_back({property, PersonKey::Value, part});
        }
        all.push_back({QStringLiteral("uid"), PersonKey::Uid});
        all.push_back({QStringLiteral("name"), PersonKey::Name});
        all.push_back({QStringLiteral("groups"), PersonKey::Groups});
        std::sort(all.begin(), all.end(), [](const PersonKey &a, const PersonKey &b) { return a.name < b.name; });
        for (PersonKey &key : all) {
            QBuffer buffer(&key.json);
            buffer.open(QIODevice::WriteOnly);
            JsonStream json(&buffer);
            json.string(key.name);
            json.raw(":");
        }
        // The name is made of values the walk has passed by then.
        Q_ASSERT(std::none_of(all.begin(), all.end(), [](const PersonKey &key) {
            return key.kind == PersonKey::Value && key.name > QLatin1String("name");
        }));
        return all;
    }();
    return keys;
}

void writePerson(JsonStream &json, const ABPerson *person)
{
    json.raw("{");
    bool first = true;
    const auto key = [&](const PersonKey &name) {
        json.raw(first ? "" : ",");
        first = false;
        json.raw(name.json);
    };
    // The record's values are sorted as the keys are: one walk over both. The parts of the name
    // are picked up on the way, as displayName() would look them up.
    const QVariantMap &values = person->travellingValues();
    const QVariant *firstName = nullptr;
    const QVariant *lastName = nullptr;
    const QVariant *organization = nullptr;
    auto it = values.cbegin();
    for (const PersonKey &name : personKeys()) {
        switch (name.kind) {
        case PersonKey::Uid:
            key(name);
            json.string(person->uniqueId());
            break;
        case PersonKey::Name: {
            key(name);
            QString firstText, lastText, organizationText;
            const QStringView firstView = textView(firstName, firstText);
            const QStringView lastView = textView(lastName, lastText);
            if (firstView.isEmpty() && lastView.isEmpty())
                json.string(textView(organization, organizationText));
            else if (firstView.isEmpty() || lastView.isEmpty())
                json.string(firstView.isEmpty() ? lastView : firstView);
            else
                json.string(QString().append(firstView).append(u' ').append(lastView));
            break;
        }
        case PersonKey::Groups: {
            key(name);
            writeUids(json, person->parentGroups());
            break;
        }
        case PersonKey::Value: {
            // The record's keys are mostly the very texts of the property names: the same data
            // is the same key, without comparing.
            const auto same = [&name](const QString &text) {
                return text.constData() == name.name.constData() && text.size() == name.name.size();
            };
            while (it != values.cend() && !same(it.key()) && it.key() < name.name)
                ++it;
            if (it == values.cend() || (!same(it.key()) && it.key() != name.name))
                break;
            if (name.part == PersonKey::First)
                firstName = &*it;
            else if (name.part == PersonKey::Last)
                lastName = &*it;
            else if (name.part == PersonKey::Organization)
                organization = &*it;
            if (it->isValid()) {
                key(name);
                if (it->metaType() == QMetaType::fromType<QVariantList>())
                    writeEntries(json, *static_cast<const QVariantList *>(it->constData()));
                else
                    json.value(*it);
            }
            break;
        }
        }
    }
    json.raw("}");
}

// The text of all persons, made in pieces on the pool's threads (from the records, which are only
// read meanwhile) and written in order; only some thousands of persons' text is held at a time.
// meanwhile (optional) runs on this thread while the first pieces are made.
bool writeInPieces(QFile &out, const QList<ABPerson *> &persons,
                   QByteArray (*text)(const QList<ABPerson *> &, qsizetype, qsizetype),
                   const std::function<void()> &meanwhile = {})
{
    constexpr qsizetype kPiece = 512;
    constexpr qsizetype kHeld = 16 * kPiece;
    bool ok = true;
    for (qsizetype from = 0; ok && from < persons.size(); from += kHeld) {
        QList<qsizetype> starts;
        for (qsizetype start = from; start < std::min(from + kHeld, persons.size()); start += kPiece)
            starts.append(start);
        QFuture<QByteArray> texts = QtConcurrent::mapped(starts, [&persons, text](qsizetype start) {
            return text(persons, start, std::min(start + kPiece, persons.size()));
        });
        if (from == 0 && meanwhile)
            meanwhile();
        for (const QByteArray &piece : texts.results())
            ok = ok && out.write(piece) == piece.size();
    }
    if (persons.isEmpty() && meanwhile)
        meanwhile();
    return out.flush() && ok;
}

// Persons from..to-1 as lines of the listing.
QByteArray personsListed(const QList<ABPerson *> &persons, qsizetype from, qsizetype to)
{
    QString text;
    for (qsizetype i = from; i < to; ++i) {
        const ABPerson *person = persons.at(i);
        text += QLatin1String("  ") + printableText(displayName(person));
        const QString email = firstEmail(person);
        if (!email.isNull())
            text += QLatin1String(" <") + printableText(email) + u'>';
        text += u'\n';
    }
    return text.toUtf8();
}

// Persons from..to-1 of the array, as JSON text. Only reads the records, so pieces are made on
// several threads at once (membership must be built before).
QByteArray personsJson(const QList<ABPerson *> &persons, qsizetype from, qsizetype to)
{
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    {
        JsonStream json(&buffer, JsonStream::Dates::Seconds);
        for (qsizetype i = from; i < to; ++i) {
            json.raw(i == 0 ? "\n        " : ",\n        ");
            writePerson(json, persons.at(i));
        }
    }
    return text;
}

// The whole book as one JSON document. Persons are turned into text on all cores, some thousands
// at a time, and written in order: only those pieces are ever held.
int writeJson(const QList<ABPerson *> &persons, const QList<ABGroup *> &groups)
{
    QFile standardOutput;
    if (!standardOutput.open(stdout, QIODevice::WriteOnly))
        return CliFailure;
    JsonStream json(&standardOutput, JsonStream::Dates::Seconds);
    json.raw("{\n    \"groups\": [");
    for (qsizetype i = 0; i < groups.size(); ++i) {
        // Keys in the order of a map of them; a group may list every person.
        const ABGroup *group = groups.at(i);
        json.raw(i == 0 ? "\n        {\"form\":" : ",\n        {\"form\":");
        json.string(QString::fromLatin1(formName(group->form())));
        json.raw(",\"members\":");
        writeUids(json, group->members());
        json.raw(",\"name\":");
        json.string(group->name());
        json.raw(",\"uid\":");
        json.string(group->uniqueId());
        json.raw("}");
    }
    json.raw(groups.isEmpty() ? "],\n    \"persons\": [" : "\n    ],\n    \"persons\": [");
    if (!persons.isEmpty())
        persons.first()->parentGroups(); // builds the membership the threads read
    const bool ok = json.flush() && writeInPieces(standardOutput, persons, personsJson);
    json.raw(persons.isEmpty() ? "]\n}\n" : "\n    ]\n}\n");
    return json.flush() && ok ? CliOk : CliFailure;
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
    // The store's records are built on several threads, and glibc grows a thread's heap by what
    // each request lacks, one mprotect per page: a thread's heap is made whole (64 MB of address
    // space) at once instead. Pages still count only once touched; the process ends after the
    // listing.
    ::mallopt(M_TOP_PAD, 64 * 1024 * 1024);
    std::unique_ptr<ABAddressBook> own;
    // The plain listing shows names and one address: only those are read from the cards.
    const QStringList shown{kABFirstNameProperty, kABLastNameProperty, kABOrganizationProperty, kABEmailProperty};
    ABAddressBook *book = openCliAddressBook(directory, "list", err, own, json ? QStringList() : shown);
    if (!book)
        return CliFailure;
    keptUntilExit = own.release();
    const QList<ABPerson *> persons = book->people();
    const QList<ABGroup *> groups = book->groups();
    if (json)
        return writeJson(persons, groups);
    out << "Persons (" << persons.size() << "):\n";
    out.flush();
    QFile standardOutput;
    // The lines of persons do not need the membership: the groups' counts are found meanwhile.
    if (!standardOutput.open(stdout, QIODevice::WriteOnly) ||
        !writeInPieces(standardOutput, persons, personsListed, [book] { book->indexMembership(); }))
        return CliFailure;
    out << "Groups (" << groups.size() << "):\n";
    for (const ABGroup *group : groups)
        out << "  " << printableText(group->name()) << " (" << group->members().size() << ")\n";
    return CliOk;
}
