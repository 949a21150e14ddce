#include "sharercard.h"

#include "abaddressbook.h"
#include "abglobals.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "ownercardfields.h"

#include <QUrl>

QString SharerCard::note(const QString &project, const QString &interests, const QString &comments)
{
    QString text;
    if (!project.isEmpty())
        text += QStringLiteral("Project: ") + project + u'\n';
    if (!interests.isEmpty())
        text += QStringLiteral("Interests: ") + interests + u'\n';
    if (!comments.isEmpty())
        text += QStringLiteral("Comment: ") + comments + u'\n';
    return text;
}

std::unique_ptr<ABPerson> SharerCard::newPerson(const OwnerCard &card)
{
    std::unique_ptr<ABPerson> person = ABAddressBook::newPerson();
    const auto text = [&card](int tag) { return card.value(tag, QString(QLatin1String(""))); };
    person->setValue(text(FirstNameTag), kABFirstNameProperty);
    person->setValue(text(LastNameTag), kABLastNameProperty);
    person->setValue(text(BussDepartmentTag), kABOrganizationProperty);
    person->setValue(text(PrivWebsiteTag), kABHomePageProperty);

    // The business phone carries the property's own name as its label.
    ABMultiValue phones;
    phones.addValue(text(BussPhoneTag), kABPhoneProperty);
    phones.addValue(text(BussMobileTag), kABPhoneMobileLabel);
    person->setValue(QVariant::fromValue(phones), kABPhoneProperty);

    ABMultiValue mails;
    mails.addValue(text(BussEmailTag), kABEmailWorkLabel);
    mails.addValue(text(PrivEmailTag), kABEmailHomeLabel);
    person->setValue(QVariant::fromValue(mails), kABEmailProperty);

    person->setValue(note(text(BussProjectTag), text(PrivInterestsTag), text(PrivCommentsTag)), kABNoteProperty);
    return person;
}

QString SharerCard::mailAddressOnly(const QString &value)
{
    QString address = QUrl::fromPercentEncoding(value.trimmed().toUtf8());
    if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        address = address.mid(7);
    const qsizetype query = address.indexOf(u'?');
    if (query >= 0)
        address.truncate(query);
    address = address.trimmed();
    // One plain address: no second one, no scheme of its own, nothing a URL would split on.
    for (const QChar c : std::as_const(address)) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == u',' || c == u';' || c == u':' ||
            c == u'/' || c == u'#' || c == u'<' || c == u'>')
            return QString();
    }
    return address;
}
