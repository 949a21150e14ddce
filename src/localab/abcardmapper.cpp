#include "abcardmapper.h"

#include "abglobals.h"
#include "abgroup.h"
#include "abmultivalue.h"
#include "abperson.h"
#include "abrecord.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

namespace {

const QString kCreatedProperty = QStringLiteral("X-ZORBIX-CREATED");
const QString kAppleKind = QStringLiteral("X-ADDRESSBOOKSERVER-KIND");
const QString kAppleMember = QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER");
const QString kABLabel = QStringLiteral("X-ABLABEL");
// Text properties that hold an empty text, by our names: N, ORG and the single texts cannot tell
// an empty text from an absent one, and matching tells them apart.
const QString kEmptyTexts = QStringLiteral("X-ZORBIX-EMPTY");

const QStringList &textProperties()
{
    static const QStringList names = {
        kABFirstNameProperty, kABLastNameProperty,     kABMiddleNameProperty,   kABMiddleNamePhoneticProperty,
        kABTitleProperty,     kABSuffixProperty,       kABNicknameProperty,     kABMaidenNameProperty,
        kABOrganizationProperty, kABDepartmentProperty, kABJobTitleProperty,    kABHomePageProperty,
        kABNoteProperty};
    return names;
}

QString cleanText(const QString &text);

// Types that say nothing about which address of several it is.
// A property name compared with a word, the length first: most lines are passed by without a
// comparison of their text.
template <qsizetype N>
bool sameName(const QString &name, const char (&word)[N])
{
    static_assert(N > 1);
    return name.size() == N - 1 && name.front() == QLatin1Char(word[0]) && name == QLatin1String(word, N - 1);
}

bool isNeutralType(const QString &type)
{
    static const QLatin1String neutral[] = {
        QLatin1String("pref"), QLatin1String("voice"),  QLatin1String("internet"),
        QLatin1String("x400"), QLatin1String("msg"),    QLatin1String("dom"),
        QLatin1String("intl"), QLatin1String("postal"), QLatin1String("parcel"),
        QLatin1String("text"), QLatin1String("uri"),    QLatin1String("x-internet")};
    return std::any_of(std::begin(neutral), std::end(neutral), [&type](QLatin1String word) {
        return word.size() == type.size() && word.front() == type.front() && word == type;
    });
}

QString appleLabel(const QString &text)
{
    static const QHash<QString, QString> known = {
        {QStringLiteral("_$!<Home>!$_"), kABHomeLabel},
        {QStringLiteral("_$!<Work>!$_"), kABWorkLabel},
        {QStringLiteral("_$!<Other>!$_"), kABOtherLabel},
        {QStringLiteral("_$!<Mobile>!$_"), kABPhoneMobileLabel},
        {QStringLiteral("_$!<Main>!$_"), kABPhoneMainLabel},
        {QStringLiteral("_$!<HomeFAX>!$_"), kABPhoneHomeFAXLabel},
        {QStringLiteral("_$!<WorkFAX>!$_"), kABPhoneWorkFAXLabel},
        {QStringLiteral("_$!<Pager>!$_"), kABPhonePagerLabel},
        {QStringLiteral("_$!<HomePage>!$_"), QStringLiteral("homepage")},
    };
    return known.value(text, text);
}

QString groupLabel(const VCardProperty &prop, const VCard &card)
{
    if (prop.group.isEmpty())
        return QString();
    for (const VCardProperty &other : card.properties) {
        if (other.name == kABLabel && other.group.compare(prop.group, Qt::CaseInsensitive) == 0) {
            const QString label = appleLabel(cleanText(VCardCodec::unescape(other.value)));
            if (!label.isEmpty())
                return label; // an empty label says nothing; the types decide
        }
    }
    return QString();
}

// A TYPE value that is one word of letters, digits and dashes: it needs no splitting or cleaning.
bool isPlainWord(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-');
    });
}

// How many TYPE parameters a line has; last: the value of the last one.
int typeParamsOf(const VCardProperty &prop, const QString **last)
{
    int count = 0;
    for (const auto &param : prop.params) {
        if (sameName(param.first, "TYPE")) {
            *last = &param.second;
            ++count;
        }
    }
    return count;
}

QStringList meaningfulTypes(const VCardProperty &prop)
{
    // The usual line has no TYPE or one plain word: no list of values to build and filter.
    const QString *single = nullptr;
    const int typeParams = typeParamsOf(prop, &single);
    if (typeParams == 0)
        return {};
    if (typeParams == 1 && isPlainWord(*single)) {
        const QString type = single->toLower();
        return isNeutralType(type) ? QStringList() : QStringList{type};
    }
    QStringList types = prop.paramValues(QStringLiteral("TYPE"));
    types.removeIf(isNeutralType);
    for (QString &type : types)
        type = cleanText(type);
    return types;
}

// The label of a line whose one meaningful type is type.
QString labelOfType(const QString &type)
{
    if (type == QLatin1String("work"))
        return kABWorkLabel;
    if (type == QLatin1String("home"))
        return kABHomeLabel;
    return type == QLatin1String("other") ? kABOtherLabel : type;
}

QString simpleLabel(const QStringList &types)
{
    for (const QLatin1String known : {QLatin1String("work"), QLatin1String("home"), QLatin1String("other")}) {
        if (types.contains(known))
            return labelOfType(known);
    }
    return types.isEmpty() ? kABOtherLabel : types.first();
}

QString labelOf(const VCardProperty &prop, const VCard &card)
{
    const QString custom = groupLabel(prop, card);
    if (!custom.isNull())
        return custom;
    if (sameName(prop.name, "TEL"))
        return ABCardMapper::labelForPhoneTypes(meaningfulTypes(prop));
    // The usual e-mail or address line has one plain TYPE word: labelled without a list.
    const QString *single = nullptr;
    if (typeParamsOf(prop, &single) == 1 && isPlainWord(*single)) {
        const QString type = single->toLower();
        return isNeutralType(type) ? kABOtherLabel : labelOfType(type);
    }
    return simpleLabel(meaningfulTypes(prop));
}

QString cleanText(const QString &text)
{
    if (!text.contains(u'\r'))
        return text;
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(u'\r', u'\n');
    return out;
}

QString textOf(const VCardProperty &prop)
{
    return cleanText(VCardCodec::unescape(prop.value));
}

// Digits at [from, from + count) of text as a number; -1 when any is not a digit.
int digitsAt(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

QDate parseDate(QString text)
{
    text = text.trimmed();
    // The usual forms without QDate::fromString's general parser, which costs more than the rest
    // of a card.
    if (text.size() == 10 && text.at(4) == u'-' && text.at(7) == u'-') {
        const int y = digitsAt(text, 0, 4), m = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
        if (y > 0 && m >= 0 && d >= 0)
            return QDate(y, m, d);
    } else if (text.size() == 8 && text.at(0) != u'-') {
        const int y = digitsAt(text, 0, 4), m = digitsAt(text, 4, 2), d = digitsAt(text, 6, 2);
        if (y > 0 && m >= 0 && d >= 0)
            return QDate(y, m, d);
    }
    const qsizetype t = text.indexOf(u'T');
    if (t >= 0)
        text = text.left(t);
    if (text.startsWith(QLatin1String("--"))) {
        QString md = text.mid(2);
        md.remove(u'-');
        if (md.size() == 4)
            return QDate(1604, md.left(2).toInt(), md.mid(2).toInt());
        return QDate();
    }
    QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        date = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
    return date;
}

QDateTime parseDateTime(QString text)
{
    text = text.trimmed();
    QDateTime value = QDateTime::fromString(text, Qt::ISODate);
    if (!value.isValid()) {
        // Basic form: 19960415T231000Z
        static const QRegularExpression basic(QStringLiteral("^(\\d{8})T(\\d{6})(Z|[+-]\\d{4})?$"));
        const auto match = basic.match(text);
        if (match.hasMatch()) {
            const QDate date = QDate::fromString(match.captured(1), QStringLiteral("yyyyMMdd"));
            const QTime time = QTime::fromString(match.captured(2), QStringLiteral("HHmmss"));
            int offset = 0;
            const QString zone = match.captured(3);
            if (zone.size() == 5)
                offset = (zone.mid(1, 2).toInt() * 3600 + zone.mid(3, 2).toInt() * 60) *
                         (zone.startsWith(u'-') ? -1 : 1);
            value = QDateTime(date, time, QTimeZone(offset));
        }
    }
    if (!value.isValid()) {
        const QDate date = parseDate(text);
        if (date.isValid())
            value = QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    return value.isValid() ? value.toUTC() : QDateTime();
}

QDateTime birthdayValue(const QDate &date)
{
    return QDateTime(date, QTime(12, 0), Qt::UTC);
}

void setText(QVariantMap &values, const QString &property, const QString &text)
{
    if (!text.isEmpty())
        values.insert(property, text);
}

const QList<QPair<QString, QString>> kAddressParts = {
    {kABAddressPOBoxKey, QString()},   {kABAddressExtendedKey, QString()}, {kABAddressStreetKey, QString()},
    {kABAddressCityKey, QString()},    {kABAddressStateKey, QString()},    {kABAddressZIPKey, QString()},
    {kABAddressCountryKey, QString()},
};

// The components of N, in order.
const QString *const kNameParts[] = {&kABLastNameProperty, &kABFirstNameProperty, &kABMiddleNameProperty,
                                     &kABTitleProperty, &kABSuffixProperty};

// One entry of a multi-value, or the home page, as a line of a card holds it.
struct CardEntry
{
    QString key; // Email, Phone, Address, URLs or HomePage
    QString label;
    QVariant value;
};

// What an EMAIL, TEL, ADR or URL line holds; false when nothing (an empty value). The first URL
// without a type or label is the home page (homePageTaken: that one came before).
bool readEntry(const VCardProperty &prop, const VCard &card, bool homePageTaken, CardEntry *entry)
{
    const QString &name = prop.name;
    if (sameName(name, "EMAIL") || sameName(name, "TEL")) {
        QString text = textOf(prop);
        if (sameName(name, "TEL") && text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            text = text.mid(4);
        if (text.trimmed().isEmpty())
            return false;
        *entry = {sameName(name, "TEL") ? kABPhoneProperty : kABEmailProperty, labelOf(prop, card), text};
        return true;
    }
    if (sameName(name, "ADR")) {
        const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
        QVariantMap address;
        for (int i = 0; i < kAddressParts.size() && i < parts.size(); ++i) {
            const QString part = cleanText(parts.at(i)).trimmed();
            if (!part.isEmpty())
                address.insert(kAddressParts.at(i).first, part);
        }
        if (address.isEmpty())
            return false;
        *entry = {kABAddressProperty, labelOf(prop, card), address};
        return true;
    }
    const QString text = textOf(prop).trimmed();
    if (text.isEmpty())
        return false;
    const QString custom = groupLabel(prop, card);
    const bool plain = (custom.isNull() && meaningfulTypes(prop).isEmpty()) || custom == QLatin1String("homepage");
    if (plain && !homePageTaken)
        *entry = {kABHomePageProperty, QString(), text};
    else
        *entry = {kABURLsProperty, labelOf(prop, card), text};
    return true;
}

void readPerson(const VCard &card, QVariantMap &values, QStringList &categories, const QStringList *only)
{
    // Reading only some properties: a line is passed by unless it holds one of them, or what
    // the names read from FN are compared with (organization, first e-mail address).
    const bool names = !only || only->contains(kABFirstNameProperty) || only->contains(kABLastNameProperty);
    const auto need = [only, names](const QString &key) {
        return !only || only->contains(key) ||
               (names && (key == kABOrganizationProperty || key == kABEmailProperty));
    };
    const bool needN = std::any_of(std::begin(kNameParts), std::end(kNameParts),
                                   [&need](const QString *key) { return need(*key); });
    const bool needOrg = need(kABOrganizationProperty) || need(kABDepartmentProperty);
    const bool needUrl = need(kABHomePageProperty) || need(kABURLsProperty);
    ABMultiValue emails, phones, addresses, urls;
    QString homePage;
    bool sawN = !needN;
    for (const VCardProperty &prop : card.properties) {
        const QString &name = prop.name;
        if (only) {
            const bool skip = (sameName(name, "ORG") && !needOrg) ||
                              (sameName(name, "EMAIL") && !need(kABEmailProperty)) ||
                              (sameName(name, "TEL") && !need(kABPhoneProperty)) ||
                              (sameName(name, "ADR") && !need(kABAddressProperty)) || (sameName(name, "URL") && !needUrl) ||
                              (sameName(name, "NOTE") && !need(kABNoteProperty)) ||
                              (sameName(name, "TITLE") && !need(kABJobTitleProperty)) ||
                              (sameName(name, "BDAY") && !need(kABBirthdayProperty)) ||
                              (sameName(name, "REV") && !need(kABModificationDateProperty));
            if (skip)
                continue;
        }
        if (sameName(name, "N")) {
            if (sawN)
                continue;
            sawN = true;
            const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
            for (int i = 0; i < 5 && i < parts.size(); ++i)
                setText(values, *kNameParts[i], cleanText(parts.at(i).trimmed()));
        } else if (sameName(name, "ORG")) {
            if (values.contains(kABOrganizationProperty))
                continue;
            const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
            setText(values, kABOrganizationProperty, cleanText(parts.value(0).trimmed()));
            setText(values, kABDepartmentProperty, cleanText(parts.value(1).trimmed()));
        } else if (sameName(name, "NICKNAME")) {
            if (!values.contains(kABNicknameProperty))
                setText(values, kABNicknameProperty, textOf(prop));
        } else if (sameName(name, "X-MAIDENNAME")) {
            if (!values.contains(kABMaidenNameProperty))
                setText(values, kABMaidenNameProperty, textOf(prop));
        } else if (sameName(name, "X-PHONETIC-MIDDLE-NAME")) {
            if (!values.contains(kABMiddleNamePhoneticProperty))
                setText(values, kABMiddleNamePhoneticProperty, textOf(prop));
        } else if (sameName(name, "TITLE")) {
            if (!values.contains(kABJobTitleProperty))
                setText(values, kABJobTitleProperty, textOf(prop));
        } else if (sameName(name, "NOTE")) {
            if (!values.contains(kABNoteProperty))
                setText(values, kABNoteProperty, textOf(prop));
        } else if (sameName(name, "EMAIL") || sameName(name, "TEL") || sameName(name, "ADR") ||
                   sameName(name, "URL")) {
            CardEntry entry;
            if (!readEntry(prop, card, !homePage.isNull(), &entry))
                continue;
            if (entry.key == kABHomePageProperty)
                homePage = entry.value.toString();
            else if (entry.key == kABEmailProperty)
                emails.addValue(entry.value, entry.label);
            else if (entry.key == kABPhoneProperty)
                phones.addValue(entry.value, entry.label);
            else if (entry.key == kABAddressProperty)
                addresses.addValue(entry.value, entry.label);
            else
                urls.addValue(entry.value, entry.label);
        } else if (sameName(name, "BDAY")) {
            if (values.contains(kABBirthdayProperty))
                continue;
            const QDate date = parseDate(prop.value);
            if (date.isValid())
                values.insert(kABBirthdayProperty, birthdayValue(date));
        } else if (sameName(name, "REV")) {
            const QDateTime rev = parseDateTime(prop.value);
            if (rev.isValid())
                values.insert(kABModificationDateProperty, rev);
        } else if (name == kCreatedProperty) {
            const QDateTime created = parseDateTime(prop.value);
            if (created.isValid())
                values.insert(kABCreationDateProperty, created);
        } else if (sameName(name, "CATEGORIES")) {
            for (const QString &category : VCardCodec::splitUnescape(prop.value, u',')) {
                const QString trimmed = category.trimmed();
                if (!trimmed.isEmpty() && !categories.contains(trimmed))
                    categories.append(trimmed);
            }
        }
    }
    if (const VCardProperty *empty = card.first(kEmptyTexts)) {
        for (const QString &name : VCardCodec::splitUnescape(empty->value, u',')) {
            if (textProperties().contains(name) && !values.contains(name))
                values.insert(name, QString());
        }
    }
    // A card with a display name only (vCard 4.0 allows it): the name goes to first and last.
    const bool hasName = std::any_of(
        std::begin(kNameParts), std::end(kNameParts), [&values](const QString *part) { return values.contains(*part); });
    const VCardProperty *fn = card.first(QStringLiteral("FN"));
    if (!hasName && fn) {
        const QString display = textOf(*fn).trimmed();
        // We write the organization or the first e-mail address as FN of a card without a name:
        // that is no name.
        const QString firstEmail = emails.count() ? emails.valueAtIndex(0).toString().trimmed() : QString();
        if (!display.isEmpty() && display != values.value(kABOrganizationProperty).toString().trimmed() &&
            display != firstEmail) {
            const qsizetype space = display.lastIndexOf(u' ');
            if (space > 0) {
                values.insert(kABFirstNameProperty, display.left(space).trimmed());
                values.insert(kABLastNameProperty, display.mid(space + 1).trimmed());
            } else {
                values.insert(kABFirstNameProperty, display);
            }
        }
    }
    // Multi-values are kept in the travelling form (see ABRecord).
    if (emails.count())
        values.insert(kABEmailProperty, emails.toLabeledValues());
    if (phones.count())
        values.insert(kABPhoneProperty, phones.toLabeledValues());
    if (addresses.count())
        values.insert(kABAddressProperty, addresses.toLabeledValues());
    if (urls.count())
        values.insert(kABURLsProperty, urls.toLabeledValues());
    if (!homePage.isNull())
        values.insert(kABHomePageProperty, homePage);
    if (only)
        values.removeIf([only](const auto &it) { return !only->contains(it.key()); });
}

// Properties that the record owns in a card; everything else in a card is kept as it was.
bool isModeled(const VCardProperty &prop, bool group)
{
    static const QStringList person = {
        QStringLiteral("UID"),
        QStringLiteral("FN"),
        QStringLiteral("N"),
        QStringLiteral("NICKNAME"),
        QStringLiteral("X-MAIDENNAME"),
        QStringLiteral("X-PHONETIC-MIDDLE-NAME"),
        QStringLiteral("ORG"),
        QStringLiteral("TITLE"),
        QStringLiteral("EMAIL"),
        QStringLiteral("TEL"),
        QStringLiteral("ADR"),
        QStringLiteral("URL"),
        QStringLiteral("NOTE"),
        QStringLiteral("REV"),
        QStringLiteral("X-ZORBIX-CREATED"),
        QStringLiteral("CATEGORIES"),
        kEmptyTexts,
    };
    static const QStringList groupProps = {
        QStringLiteral("UID"),
        QStringLiteral("FN"),
        QStringLiteral("N"),
        QStringLiteral("REV"),
        QStringLiteral("X-ZORBIX-CREATED"),
        QStringLiteral("KIND"),
        QStringLiteral("MEMBER"),
        QStringLiteral("X-ADDRESSBOOKSERVER-KIND"),
        QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER"),
    };
    return group ? groupProps.contains(prop.name) : person.contains(prop.name);
}

VCardProperty makeProp(const QString &name, const QString &value, const QString &group = QString())
{
    VCardProperty prop;
    prop.group = group;
    prop.name = name;
    prop.value = value;
    return prop;
}

// Digits of value, zero-padded to width, from at on.
void putDigits(QChar *at, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = QChar(u'0' + value % 10);
}

// yyyy-MM-dd, written by hand: every card written has a few dates, and QDate::toString goes
// through the locale's formatter each time.
QString dateText(const QDate &date)
{
    if (date.year() < 1 || date.year() > 9999)
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    QString text(10, u'-');
    putDigits(text.data(), date.year(), 4);
    putDigits(text.data() + 5, date.month(), 2);
    putDigits(text.data() + 8, date.day(), 2);
    return text;
}

// yyyy-MM-ddTHH:mm:ssZ in UTC.
QString dateTimeText(const QDateTime &value)
{
    const QDateTime utc = value.toUTC();
    const QTime time = utc.time();
    QString text = dateText(utc.date());
    if (text.size() != 10)
        return utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    text.resize(20);
    text[10] = u'T';
    putDigits(text.data() + 11, time.hour(), 2);
    text[13] = u':';
    putDigits(text.data() + 14, time.minute(), 2);
    text[16] = u':';
    putDigits(text.data() + 17, time.second(), 2);
    text[19] = u'Z';
    return text;
}

// The TYPE values (3.0 form) of a label; *custom when the label needs an item group with
// X-ABLabel instead. Empty for "other" (no type), except on a URL, where no type is the home page.
QString typesOf(bool tel, bool url, const QString &label, bool *custom)
{
    *custom = false;
    if (label == kABWorkLabel)
        return QStringLiteral("WORK");
    if (label == kABHomeLabel)
        return QStringLiteral("HOME");
    if (label == kABOtherLabel)
        return url ? QStringLiteral("OTHER") : QString();
    if (tel && label == kABPhoneMobileLabel)
        return QStringLiteral("CELL");
    if (tel && label == kABPhoneMainLabel)
        return QStringLiteral("MAIN");
    if (tel && label == kABPhoneHomeFAXLabel)
        return QStringLiteral("HOME,FAX");
    if (tel && label == kABPhoneWorkFAXLabel)
        return QStringLiteral("WORK,FAX");
    if (tel && label == kABPhonePagerLabel)
        return QStringLiteral("PAGER");
    *custom = true;
    return QString();
}

struct LabelWriter
{
    int nextItem = 1;
    // Standard labels become TYPE parameters; any other label an Apple item group with X-ABLabel.
    void add(QList<VCardProperty> &out, VCardProperty prop, const QString &label)
    {
        bool custom = false;
        const QString types =
            typesOf(sameName(prop.name, "TEL"), sameName(prop.name, "URL"), label, &custom);
        if (custom) {
            prop.group = QStringLiteral("item%1").arg(nextItem++);
            out.append(prop);
            out.append(makeProp(QStringLiteral("X-ABLabel"), VCardCodec::escape(label), prop.group));
            return;
        }
        if (!types.isEmpty())
            prop.params.append({QStringLiteral("TYPE"), types});
        out.append(prop);
    }
};

QString displayName(const QVariantMap &values)
{
    QStringList parts;
    for (const QString *property : {&kABTitleProperty, &kABFirstNameProperty, &kABMiddleNameProperty,
                                    &kABLastNameProperty, &kABSuffixProperty}) {
        const QString part = values.value(*property).toString();
        if (!part.isEmpty())
            parts.append(part);
    }
    if (!parts.isEmpty())
        return parts.join(u' ');
    return values.value(kABOrganizationProperty).toString();
}

// The highest item group number among the properties of base that a rewrite keeps: new item
// groups start above it, so a kept property never joins one of ours.
int highestItem(const VCard &card, const QSet<QString> &rewritten, bool group)
{
    int highest = 0;
    static const QRegularExpression item(QStringLiteral("^item(\\d+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    for (const VCardProperty &prop : card.properties) {
        if (isModeled(prop, group) || (prop.name == kABLabel && rewritten.contains(prop.group.toLower())) ||
            !VCardCodec::isWritable(prop))
            continue;
        const auto match = item.match(prop.group);
        if (match.hasMatch())
            highest = qMax(highest, match.captured(1).toInt());
    }
    return highest;
}

} // namespace

QString ABCardMapper::labelForPhoneTypes(const QStringList &types)
{
    const bool fax = types.contains(QLatin1String("fax"));
    if (types.contains(QLatin1String("cell")) || types.contains(QLatin1String("mobile")) ||
        types.contains(QLatin1String("iphone")))
        return kABPhoneMobileLabel;
    if (fax)
        return types.contains(QLatin1String("home")) ? kABPhoneHomeFAXLabel : kABPhoneWorkFAXLabel;
    if (types.contains(QLatin1String("pager")))
        return kABPhonePagerLabel;
    if (types.contains(QLatin1String("main")) || types.contains(QLatin1String("x-main")))
        return kABPhoneMainLabel;
    return simpleLabel(types);
}

std::unique_ptr<ABRecord> ABCardMapper::recordFromCard(const VCard &card, const QStringList *only)
{
    std::unique_ptr<ABRecord> record;
    if (isGroupCard(card))
        record.reset(new ABGroup());
    else
        record.reset(new ABPerson());
    read(card, *record, only);
    return record;
}

QList<QByteArrayView> ABCardMapper::cardNamesRead(const QStringList &only)
{
    // Kind, membership, the group's name and dates, labels, and what the names read from FN are
    // compared with.
    QList<QByteArrayView> names{"UID",    "FN",         "N",   "CATEGORIES", "X-ZORBIX-EMPTY", "X-ABLABEL", "KIND",
                                "MEMBER", "X-ADDRESSBOOKSERVER-KIND", "X-ADDRESSBOOKSERVER-MEMBER", "REV",
                                "X-ZORBIX-CREATED"};
    const bool personNames = only.contains(kABFirstNameProperty) || only.contains(kABLastNameProperty);
    const std::pair<const QString *, const char *> lines[] = {
        {&kABOrganizationProperty, "ORG"},
        {&kABDepartmentProperty, "ORG"},
        {&kABEmailProperty, "EMAIL"},
        {&kABPhoneProperty, "TEL"},
        {&kABAddressProperty, "ADR"},
        {&kABHomePageProperty, "URL"},
        {&kABURLsProperty, "URL"},
        {&kABNicknameProperty, "NICKNAME"},
        {&kABMaidenNameProperty, "X-MAIDENNAME"},
        {&kABMiddleNamePhoneticProperty, "X-PHONETIC-MIDDLE-NAME"},
        {&kABJobTitleProperty, "TITLE"},
        {&kABNoteProperty, "NOTE"},
        {&kABBirthdayProperty, "BDAY"},
    };
    for (const auto &[property, name] : lines) {
        const bool comparedWithFn = personNames && (*property == kABOrganizationProperty || *property == kABEmailProperty);
        if ((only.contains(*property) || comparedWithFn) && !names.contains(QByteArrayView(name)))
            names.append(name);
    }
    return names;
}

bool ABCardMapper::isGroupCard(const VCard &card)
{
    for (const VCardProperty &prop : card.properties) {
        if ((sameName(prop.name, "KIND") || prop.name == kAppleKind) &&
            prop.value.trimmed().compare(QLatin1String("group"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void ABCardMapper::read(const VCard &card, ABRecord &record, const QStringList *only)
{
    record.m_values.clear();
    record.m_uid.clear();
    record.m_categories.clear();
    record.m_memberRefs.clear();
    if (const VCardProperty *uid = card.first(QStringLiteral("UID"))) {
        const QString text = textOf(*uid).trimmed();
        if (!text.isEmpty())
            record.m_uid = text;
    }
    if (!record.isGroup()) {
        readPerson(card, record.m_values, record.m_categories, only);
        return;
    }
    record.m_groupForm = ABGroup::KindCard;
    QString name;
    if (const VCardProperty *fn = card.first(QStringLiteral("FN")))
        name = textOf(*fn).trimmed();
    if (name.isEmpty()) {
        if (const VCardProperty *n = card.first(QStringLiteral("N")))
            name = cleanText(VCardCodec::splitUnescape(n->value, u';').value(0).trimmed());
    }
    record.m_values.insert(kABGroupNameProperty, name);
    for (const VCardProperty &prop : card.properties) {
        if (prop.name == kAppleKind)
            record.m_groupForm = ABGroup::AppleCard;
        if (sameName(prop.name, "MEMBER") || prop.name == kAppleMember) {
            const QString ref = textOf(prop).trimmed();
            if (!ref.isEmpty())
                record.m_memberRefs.append(ref);
        } else if (sameName(prop.name, "REV")) {
            const QDateTime rev = parseDateTime(prop.value);
            if (rev.isValid())
                record.m_values.insert(kABModificationDateProperty, rev);
        } else if (prop.name == kCreatedProperty) {
            const QDateTime created = parseDateTime(prop.value);
            if (created.isValid())
                record.m_values.insert(kABCreationDateProperty, created);
        }
    }
}

VCard ABCardMapper::write(const ABRecord &record, const VCard &base, const QDateTime &revision)
{
    const bool group = record.isGroup();
    const QVariantMap &values = record.m_values;
    VCard card;
    card.version = QStringLiteral("3.0");
    QList<VCardProperty> &out = card.properties;

    // Apple item groups of properties we rewrite go with them; the others stay.
    QSet<QString> rewrittenGroups;
    for (const VCardProperty &prop : base.properties) {
        if (isModeled(prop, group) && !prop.group.isEmpty())
            rewrittenGroups.insert(prop.group.toLower());
    }
    const VCardProperty *oldBirthday = base.first(QStringLiteral("BDAY"));
    const bool keepOldBirthday = !group && oldBirthday && !values.contains(kABBirthdayProperty) &&
                                 !parseDate(oldBirthday->value).isValid();

    auto text = [&values](const QString &property) { return values.value(property).toString(); };
    out.append(makeProp(QStringLiteral("UID"), VCardCodec::escape(record.m_uid)));
    if (group) {
        const QString name = text(kABGroupNameProperty);
        out.append(makeProp(QStringLiteral("FN"), VCardCodec::escape(name)));
        out.append(makeProp(QStringLiteral("N"), VCardCodec::escape(name) + QStringLiteral(";;;;")));
        const bool apple = record.m_groupForm != ABGroup::KindCard;
        out.append(makeProp(apple ? kAppleKind : QStringLiteral("KIND"), QStringLiteral("group")));
        for (const QString &ref : record.m_memberRefs)
            out.append(makeProp(apple ? kAppleMember : QStringLiteral("MEMBER"), VCardCodec::escape(ref)));
    } else {
        QString fn = displayName(values);
        if (fn.isEmpty()) {
            const ABMultiValue emails = ABMultiValue::fromVariant(values.value(kABEmailProperty));
            fn = emails.count() ? emails.valueAtIndex(0).toString() : QString();
        }
        if (fn.isEmpty()) {
            if (const VCardProperty *oldFn = base.first(QStringLiteral("FN")))
                fn = textOf(*oldFn);
        }
        out.append(makeProp(QStringLiteral("FN"), VCardCodec::escape(fn)));
        QStringList n;
        for (const QString *property : {&kABLastNameProperty, &kABFirstNameProperty, &kABMiddleNameProperty,
                                        &kABTitleProperty, &kABSuffixProperty})
            n.append(VCardCodec::escape(text(*property)));
        out.append(makeProp(QStringLiteral("N"), n.join(u';')));
        auto single = [&](const QString &vcardName, const QString &property) {
            if (values.contains(property))
                out.append(makeProp(vcardName, VCardCodec::escape(text(property))));
        };
        single(QStringLiteral("NICKNAME"), kABNicknameProperty);
        single(QStringLiteral("X-MAIDENNAME"), kABMaidenNameProperty);
        single(QStringLiteral("X-PHONETIC-MIDDLE-NAME"), kABMiddleNamePhoneticProperty);
        if (values.contains(kABOrganizationProperty) || values.contains(kABDepartmentProperty)) {
            QString org = VCardCodec::escape(text(kABOrganizationProperty));
            if (values.contains(kABDepartmentProperty))
                org += u';' + VCardCodec::escape(text(kABDepartmentProperty));
            out.append(makeProp(QStringLiteral("ORG"), org));
        }
        single(QStringLiteral("TITLE"), kABJobTitleProperty);

        LabelWriter labels;
        labels.nextItem = highestItem(base, rewrittenGroups, group) + 1;
        auto multi = [&](const QString &vcardName, const QString &property) {
            const ABMultiValue mv = ABMultiValue::fromVariant(values.value(property));
            for (int i = 0; i < mv.count(); ++i) {
                const QVariant value = mv.valueAtIndex(i);
                QString encoded;
                if (property == kABAddressProperty) {
                    if (value.metaType() != QMetaType::fromType<QVariantMap>())
                        continue;
                    const QVariantMap address = value.toMap();
                    QStringList parts;
                    for (const auto &part : kAddressParts)
                        parts.append(VCardCodec::escape(address.value(part.first).toString()));
                    encoded = parts.join(u';');
                } else {
                    if (value.metaType() != QMetaType::fromType<QString>())
                        continue;
                    encoded = VCardCodec::escape(value.toString());
                }
                labels.add(out, makeProp(vcardName, encoded), mv.labelAtIndex(i));
            }
        };
        multi(QStringLiteral("EMAIL"), kABEmailProperty);
        multi(QStringLiteral("TEL"), kABPhoneProperty);
        multi(QStringLiteral("ADR"), kABAddressProperty);
        if (values.contains(kABHomePageProperty))
            out.append(makeProp(QStringLiteral("URL"), VCardCodec::escape(text(kABHomePageProperty))));
        multi(QStringLiteral("URL"), kABURLsProperty);
        single(QStringLiteral("NOTE"), kABNoteProperty);
        const QDateTime birthday = values.value(kABBirthdayProperty).toDateTime();
        if (birthday.isValid()) {
            VCardProperty bday = makeProp(QStringLiteral("BDAY"),
                                          dateText(birthday.toUTC().date()));
            if (birthday.toUTC().date().year() == 1604)
                bday.params.append({QStringLiteral("X-APPLE-OMIT-YEAR"), QStringLiteral("1604")});
            out.append(bday);
        }
        QStringList emptyTexts;
        for (const QString &name : textProperties()) {
            const auto it = values.constFind(name);
            if (it != values.cend() && it->metaType() == QMetaType::fromType<QString>() && it->toString().isEmpty())
                emptyTexts.append(name);
        }
        if (!emptyTexts.isEmpty())
            out.append(makeProp(kEmptyTexts, emptyTexts.join(u',')));
        if (!record.m_categories.isEmpty()) {
            QStringList escaped;
            for (const QString &category : record.m_categories)
                escaped.append(VCardCodec::escape(category));
            out.append(makeProp(QStringLiteral("CATEGORIES"), escaped.join(u',')));
        }
    }
    const QDateTime created = values.value(kABCreationDateProperty).toDateTime();
    if (created.isValid())
        out.append(makeProp(kCreatedProperty, dateTimeText(created)));
    const QDateTime modified =
        revision.isValid() ? revision : values.value(kABModificationDateProperty).toDateTime();
    if (modified.isValid())
        out.append(makeProp(QStringLiteral("REV"), dateTimeText(modified)));

    for (const VCardProperty &prop : base.properties) {
        if (isModeled(prop, group))
            continue;
        if (!group && sameName(prop.name, "BDAY") && !keepOldBirthday)
            continue;
        if (prop.name == kABLabel && rewrittenGroups.contains(prop.group.toLower()))
            continue;
        out.append(prop);
    }
    return card;
}

namespace {

// Changes to the lines of one card, rendered over the card's own bytes: lines nobody touched
// are copied byte for byte, folding and gaps included.
struct LineEditor
{
    const QByteArray &data;
    const VCard &card;
    QString version;
    bool v21 = false;
    bool v4 = false;
    QByteArray lineEnd = "\r\n";
    int nextItem = 1;
    QHash<int, QString> values;      // line -> new value in the card's escaping; the rest of the line kept
    QHash<int, VCardProperty> props; // line -> rebuilt whole
    QSet<int> removed;
    QHash<int, QList<VCardProperty>> after; // lines added after a line; -1: before END:VCARD

    LineEditor(const QByteArray &bytes, const VCard &parsed) : data(bytes), card(parsed)
    {
        version = card.version.trimmed();
        v21 = version.startsWith(u'2');
        v4 = version.startsWith(u'4');
        const qsizetype newline = data.indexOf('\n');
        if (newline >= 0 && (newline == 0 || data.at(newline - 1) != '\r'))
            lineEnd = "\n";
        static const QRegularExpression item(QStringLiteral("^item(\\d+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
        for (const VCardProperty &prop : card.properties) {
            if (prop.group.isEmpty())
                continue;
            const auto match = item.match(prop.group);
            if (match.hasMatch())
                nextItem = qMax(nextItem, match.captured(1).toInt() + 1);
        }
    }

    bool changed() const { return !values.isEmpty() || !props.isEmpty() || !removed.isEmpty() || !after.isEmpty(); }
    const VCardProperty &at(int i) const { return card.properties.at(i); }
    int count() const { return static_cast<int>(card.properties.size()); }

    QList<int> all(const QString &name) const
    {
        QList<int> found;
        for (int i = 0; i < count(); ++i) {
            if (at(i).name == name && !removed.contains(i))
                found.append(i);
        }
        return found;
    }
    int first(const QString &name) const { return all(name).value(0, -1); }
    // The line a single text is read from: the first with a text, else the first.
    int valueLine(const QString &name) const
    {
        const QList<int> lines = all(name);
        for (int i : lines) {
            if (!textOf(at(i)).isEmpty())
                return i;
        }
        return lines.value(0, -1);
    }
    // Where a new line of that name goes: after the last one (and the lines of its item group
    // that follow it), else before END:VCARD.
    int anchorOf(const QStringList &names) const
    {
        int anchor = -1;
        for (int i = 0; i < count(); ++i) {
            if (names.contains(at(i).name))
                anchor = i;
        }
        while (anchor >= 0 && anchor + 1 < count() && !at(anchor).group.isEmpty() &&
               at(anchor + 1).group.compare(at(anchor).group, Qt::CaseInsensitive) == 0)
            ++anchor;
        return anchor;
    }
    QString escape(const QString &text, bool compound = false) const
    {
        return v21 ? VCardCodec::escape21(text, compound) : VCardCodec::escape(text);
    }
    QString value(int i) const { return values.contains(i) ? values.value(i) : at(i).value; }
    void add(int anchor, const VCardProperty &prop) { after[anchor].append(prop); }
    void addNamed(const QString &name, const QString &value, const QStringList &neighbours = {})
    {
        add(anchorOf(neighbours.isEmpty() ? QStringList{name} : neighbours), makeProp(name, value));
    }
    // A single value: replaced in its line, added, or (null) every line of it removed.
    void setSingle(const QString &name, const QVariant &text)
    {
        const int line = valueLine(name);
        if (text.isNull()) {
            for (int i : all(name))
                removed.insert(i);
        } else if (line >= 0) {
            values.insert(line, escape(text.toString()));
        } else {
            addNamed(name, escape(text.toString()));
        }
    }
    // Component index of a compound line (N, ORG).
    void setComponent(int line, int index, const QString &text)
    {
        QStringList parts = VCardCodec::splitRaw(value(line), u';');
        while (parts.size() <= index)
            parts.append(QString());
        parts[index] = escape(text, true);
        values.insert(line, parts.join(u';'));
    }

    QByteArray renderLine(int i) const
    {
        const VCardProperty &prop = at(i);
        if (props.contains(i))
            return VCardCodec::formatLine(props.value(i), version, lineEnd);
        QByteArray line = data.mid(prop.begin, prop.end - prop.begin);
        static const QRegularExpression fold(QStringLiteral("\r?\n[ \t]"));
        line = QString::fromLatin1(line).remove(fold).toLatin1(); // bytes kept: Latin-1 both ways
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = headEnd(line);
        const QByteArray head = line.left(colon);
        const QString text = values.value(i);
        const bool encoded = head.toUpper().contains("QUOTED-PRINTABLE") || head.toUpper().contains("CHARSET=");
        const bool needsEncoding = v21 && (text.contains(u'\n') || text.contains(u'\r') ||
                                           text.toUtf8().size() != text.size() || text.endsWith(u' '));
        if (colon < 0 || encoded || needsEncoding) {
            VCardProperty rebuilt = prop;
            rebuilt.value = text;
            return VCardCodec::formatLine(rebuilt, version, lineEnd);
        }
        QString flat = text;
        flat.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
        flat.replace(u'\n', QLatin1String("\\n"));
        flat.replace(u'\r', QLatin1String("\\n"));
        return VCardCodec::fold(head + ':' + flat.toUtf8(), lineEnd);
    }

    static qsizetype headEnd(const QByteArray &line)
    {
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line.at(i) == '"')
                quoted = !quoted;
            else if (line.at(i) == ':' && !quoted)
                return i;
        }
        return line.indexOf(':');
    }

    QByteArray render() const
    {
        QByteArray out;
        out.reserve(data.size() + 256);
        qsizetype pos = 0;
        auto appendAfter = [&](int anchor) {
            for (const VCardProperty &prop : after.value(anchor))
                out += VCardCodec::formatLine(prop, version, lineEnd);
        };
        for (int i = 0; i < count(); ++i) {
            const VCardProperty &prop = at(i);
            out.append(data.constData() + pos, prop.begin - pos);
            if (removed.contains(i))
                pos = prop.begin; // nothing of it
            else if (values.contains(i) || props.contains(i))
                out += renderLine(i);
            else
                out.append(data.constData() + prop.begin, prop.end - prop.begin);
            appendAfter(i);
            pos = prop.end;
        }
        out.append(data.constData() + pos, card.endLine - pos);
        appendAfter(-1);
        out.append(data.constData() + card.endLine, data.size() - card.endLine);
        return out;
    }
};

QString vcardNameOf(const QString &key)
{
    if (key == kABEmailProperty)
        return QStringLiteral("EMAIL");
    if (key == kABPhoneProperty)
        return QStringLiteral("TEL");
    if (key == kABAddressProperty)
        return QStringLiteral("ADR");
    return QStringLiteral("URL");
}

// The lines of a new entry in the form of the card's version.
QList<VCardProperty> entryLines(const LineEditor &editor, const QString &key, const QString &label,
                                const QVariant &value, int *nextItem)
{
    VCardProperty prop = makeProp(vcardNameOf(key), QString());
    if (key == kABAddressProperty) {
        const QVariantMap address = value.toMap();
        QStringList parts;
        for (const auto &part : kAddressParts)
            parts.append(editor.escape(address.value(part.first).toString(), true));
        prop.value = parts.join(u';');
    } else {
        prop.value = editor.escape(value.toString());
    }
    // A 4.0 card whose numbers are tel: URIs gets its new ones in that form too.
    if (key == kABPhoneProperty && editor.v4) {
        for (const VCardProperty &other : editor.card.properties) {
            if (sameName(other.name, "TEL") &&
                other.paramValues(QStringLiteral("VALUE")).contains(QLatin1String("uri"), Qt::CaseInsensitive)) {
                prop.params.append({QStringLiteral("VALUE"), QStringLiteral("uri")});
                prop.value = QStringLiteral("tel:") + prop.value;
                break;
            }
        }
    }
    bool custom = false;
    QString types = typesOf(key == kABPhoneProperty, key == kABURLsProperty, label, &custom);
    if (editor.v4)
        types = types.toLower();
    if (custom) {
        prop.group = QStringLiteral("item%1").arg((*nextItem)++);
        return {prop, makeProp(QStringLiteral("X-ABLabel"), editor.escape(label), prop.group)};
    }
    if (!types.isEmpty())
        prop.params.append({QStringLiteral("TYPE"), types});
    return {prop};
}

// A birthday in the form of the line it replaces, else of the card's version.
QString birthdayText(const QDate &date, const QString &old, bool v4, bool *appleForm)
{
    const bool noYear = date.year() == 1604;
    const QString trimmed = old.trimmed();
    *appleForm = false;
    if (noYear && (v4 || trimmed.startsWith(QLatin1String("--"))))
        return date.toString(trimmed.startsWith(QLatin1String("--")) && trimmed.size() == 7 ? QStringLiteral("--MM-dd")
                                                                                          : QStringLiteral("--MMdd"));
    if (noYear) {
        *appleForm = true;
        return dateText(date);
    }
    static const QRegularExpression basic(QStringLiteral("^\\d{8}"));
    if ((v4 && !trimmed.contains(u'-')) || basic.match(trimmed).hasMatch())
        return date.toString(QStringLiteral("yyyyMMdd"));
    return dateText(date);
}

// Entries of a multi-value as (label, value) with how often each occurs.
QList<QPair<QString, QVariant>> entriesOf(const QVariant &list)
{
    QList<QPair<QString, QVariant>> out;
    for (const QVariant &entry : list.toList()) {
        const QVariantMap pair = entry.toMap();
        if (pair.size() == 1)
            out.append({pair.firstKey(), pair.first()});
    }
    return out;
}

// Takes one entry equal to e out of list; whether there was one.
bool takeEntry(QList<QPair<QString, QVariant>> &list, const QPair<QString, QVariant> &e)
{
    const qsizetype at = list.indexOf(e);
    if (at < 0)
        return false;
    list.removeAt(at);
    return true;
}

} // namespace

bool ABCardMapper::edit(const ABRecord &record, const QByteArray &current, const QDateTime &revision,
                        QByteArray *out, QString *error)
{
    const VCardCodec::ParseResult parsed = VCardCodec::parse(current);
    if (!parsed.errors.isEmpty() || parsed.cards.size() != 1) {
        *error = parsed.errors.isEmpty() ? QStringLiteral("holds %1 cards instead of one").arg(parsed.cards.size())
                                         : parsed.errors.join(QLatin1String("; "));
        return false;
    }
    const VCard &card = parsed.cards.first();
    if (isGroupCard(card) != record.isGroup()) {
        *error = QStringLiteral("holds another kind of card now");
        return false;
    }
    // The card's values, read only when a change needs them.
    std::unique_ptr<ABRecord> theirsRead;
    auto theirs = [&]() -> const ABRecord & {
        if (!theirsRead)
            theirsRead = recordFromCard(card);
        return *theirsRead;
    };
    LineEditor editor(parsed.data, card);
    const QVariantMap &values = record.m_values;
    auto changed = [&record](const QString &key) {
        return record.m_dirty.contains(key) && record.keyValue(key) != record.m_original.value(key);
    };
    auto text = [&values](const QString &key) { return values.value(key).toString(); };

    if (record.isGroup()) {
        if (changed(kABGroupNameProperty)) {
            const QString name = text(kABGroupNameProperty);
            editor.setSingle(QStringLiteral("FN"), name);
            const int n = editor.first(QStringLiteral("N"));
            if (n >= 0)
                editor.setComponent(n, 0, name);
        }
        if (changed(kABMembersKey)) {
            QSet<QString> before, after, present;
            for (const QString &ref : record.m_original.value(kABMembersKey).toStringList())
                before.insert(ABGroup::normalizedUid(ref));
            for (const QString &ref : record.m_memberRefs)
                after.insert(ABGroup::normalizedUid(ref));
            const QStringList names{QStringLiteral("MEMBER"), kAppleMember};
            for (int i = 0; i < editor.count(); ++i) {
                if (!names.contains(editor.at(i).name))
                    continue;
                const QString ref = ABGroup::normalizedUid(textOf(editor.at(i)));
                if (before.contains(ref) && !after.contains(ref))
                    editor.removed.insert(i);
                else
                    present.insert(ref);
            }
            const QString name = record.m_groupForm == ABGroup::KindCard ? QStringLiteral("MEMBER") : kAppleMember;
            const int anchor = editor.anchorOf(names);
            for (const QString &ref : record.m_memberRefs) {
                const QString normalized = ABGroup::normalizedUid(ref);
                if (before.contains(normalized) || present.contains(normalized))
                    continue;
                present.insert(normalized);
                editor.add(anchor, makeProp(name, editor.v4 ? ref : VCardCodec::escape(ref)));
            }
        }
    } else {
        // N: only the components that changed; FN follows a changed name.
        bool nameChanged = false;
        for (int i = 0; i < 5; ++i)
            nameChanged = nameChanged || changed(*kNameParts[i]);
        const bool orgChanged = changed(kABOrganizationProperty) || changed(kABDepartmentProperty);
        QVariantMap merged = nameChanged || orgChanged ? theirs().m_values : QVariantMap();
        for (int i = 0; i < 5 && nameChanged; ++i) {
            const QString &key = *kNameParts[i];
            if (!changed(key))
                continue;
            values.contains(key) ? void(merged.insert(key, values.value(key))) : void(merged.remove(key));
        }
        const int n = editor.first(QStringLiteral("N"));
        if (nameChanged && n >= 0) {
            for (int i = 0; i < 5; ++i) {
                if (changed(*kNameParts[i]))
                    editor.setComponent(n, i, text(*kNameParts[i]));
            }
        } else if (nameChanged) {
            QStringList parts;
            for (const QString *key : kNameParts)
                parts.append(editor.escape(merged.value(*key).toString(), true));
            editor.addNamed(QStringLiteral("N"), parts.join(u';'), {QStringLiteral("FN"), QStringLiteral("N")});
        }
        // ORG: components 1 and 2; the others stay.
        if (orgChanged) {
            for (const QString *key : {&kABOrganizationProperty, &kABDepartmentProperty})
                values.contains(*key) ? void(merged.insert(*key, values.value(*key))) : void(merged.remove(*key));
            const int org = editor.first(QStringLiteral("ORG"));
            if (org >= 0) {
                if (changed(kABOrganizationProperty))
                    editor.setComponent(org, 0, text(kABOrganizationProperty));
                if (changed(kABDepartmentProperty))
                    editor.setComponent(org, 1, text(kABDepartmentProperty));
                if (VCardCodec::splitUnescape(editor.value(org), u';').join(QString()).trimmed().isEmpty() &&
                    !values.contains(kABOrganizationProperty) && !values.contains(kABDepartmentProperty)) {
                    editor.values.remove(org);
                    editor.removed.insert(org);
                }
            } else if (values.contains(kABOrganizationProperty) || values.contains(kABDepartmentProperty)) {
                QString value = editor.escape(text(kABOrganizationProperty), true);
                if (values.contains(kABDepartmentProperty))
                    value += u';' + editor.escape(text(kABDepartmentProperty), true);
                editor.addNamed(QStringLiteral("ORG"), value, {QStringLiteral("ORG"), QStringLiteral("FN"), QStringLiteral("N")});
            }
        }
        if (nameChanged || orgChanged) {
            // FN is the name; for a person without one we wrote the organization.
            const int fn = editor.first(QStringLiteral("FN"));
            const QString display = displayName(merged);
            const bool hadName = std::any_of(std::begin(kNameParts), std::end(kNameParts),
                                             [&merged](const QString *key) { return merged.contains(*key); });
            const QString oldFn = fn >= 0 ? textOf(editor.at(fn)).trimmed() : QString();
            const bool fnWasOrganization =
                oldFn == record.m_original.value(kABOrganizationProperty).toString().trimmed();
            if (!display.isEmpty() && (nameChanged || (!hadName && fnWasOrganization)))
                editor.setSingle(QStringLiteral("FN"), display);
        }
        const QList<std::pair<const QString *, QString>> singles{
            {&kABNicknameProperty, QStringLiteral("NICKNAME")},
            {&kABMaidenNameProperty, QStringLiteral("X-MAIDENNAME")},
            {&kABMiddleNamePhoneticProperty, QStringLiteral("X-PHONETIC-MIDDLE-NAME")},
            {&kABJobTitleProperty, QStringLiteral("TITLE")},
            {&kABNoteProperty, QStringLiteral("NOTE")}};
        for (const auto &[key, name] : singles) {
            if (changed(*key))
                editor.setSingle(name, values.value(*key));
        }

        // Multi-values entry by entry, and the home page, over the lines that hold them now.
        QList<std::pair<int, CardEntry>> lines;
        bool homePage = false;
        const bool entriesChanged = changed(kABHomePageProperty) || changed(kABEmailProperty) ||
                                    changed(kABPhoneProperty) || changed(kABAddressProperty) || changed(kABURLsProperty);
        for (int i = 0; entriesChanged && i < editor.count(); ++i) {
            CardEntry entry;
            const QString &name = editor.at(i).name;
            if ((sameName(name, "EMAIL") || sameName(name, "TEL") || sameName(name, "ADR") ||
                 sameName(name, "URL")) &&
                readEntry(editor.at(i), card, homePage, &entry)) {
                homePage = homePage || entry.key == kABHomePageProperty;
                lines.append({i, entry});
            }
        }
        if (changed(kABHomePageProperty)) {
            const auto it = std::find_if(lines.cbegin(), lines.cend(),
                                         [](const auto &line) { return line.second.key == kABHomePageProperty; });
            if (!values.contains(kABHomePageProperty)) {
                if (it != lines.cend())
                    editor.removed.insert(it->first);
            } else if (it != lines.cend()) {
                editor.values.insert(it->first, editor.escape(text(kABHomePageProperty)));
            } else {
                editor.addNamed(QStringLiteral("URL"), editor.escape(text(kABHomePageProperty)));
            }
        }
        for (const QString *key : {&kABEmailProperty, &kABPhoneProperty, &kABAddressProperty, &kABURLsProperty}) {
            if (!changed(*key))
                continue;
            QList<QPair<QString, QVariant>> gone = entriesOf(record.m_original.value(*key));
            QList<QPair<QString, QVariant>> added;
            for (const auto &entry : entriesOf(values.value(*key))) {
                if (!takeEntry(gone, entry))
                    added.append(entry);
            }
            // Lines of this property now, as (line, entry); a line whose entry went is removed,
            // one whose value stays under another label is replaced where it is. Lines of the
            // entries we keep are neither.
            QList<std::pair<int, QPair<QString, QVariant>>> present;
            for (const auto &[line, entry] : lines) {
                if (entry.key == *key)
                    present.append({line, {entry.label, entry.value}});
            }
            QList<QPair<QString, QVariant>> kept = entriesOf(record.m_original.value(*key));
            for (const auto &entry : std::as_const(gone))
                takeEntry(kept, entry);
            for (const auto &entry : std::as_const(kept)) {
                const auto it = std::find_if(present.begin(), present.end(),
                                             [&entry](const auto &line) { return line.second == entry; });
                if (it != present.end())
                    present.erase(it);
            }
            QSet<QString> groupsLeft;
            for (const auto &entry : std::as_const(gone)) {
                const auto it = std::find_if(present.begin(), present.end(),
                                             [&entry](const auto &line) { return line.second == entry; });
                if (it == present.end())
                    continue; // the other program removed it already
                const int line = it->first;
                editor.removed.insert(line);
                if (!editor.at(line).group.isEmpty())
                    groupsLeft.insert(editor.at(line).group.toLower());
                present.erase(it);
                const auto relabelled = std::find_if(added.begin(), added.end(), [&entry](const auto &candidate) {
                    return candidate.second == entry.second;
                });
                if (relabelled != added.end()) {
                    for (const VCardProperty &prop :
                         entryLines(editor, *key, relabelled->first, relabelled->second, &editor.nextItem))
                        editor.add(line, prop);
                    added.erase(relabelled);
                }
            }
            // An item group that lost its entry loses its label too.
            for (int i = 0; i < editor.count(); ++i) {
                const QString group = editor.at(i).group.toLower();
                if (group.isEmpty() || !groupsLeft.contains(group) || editor.removed.contains(i))
                    continue;
                if (editor.at(i).name != kABLabel)
                    groupsLeft.remove(group);
            }
            for (int i = 0; i < editor.count(); ++i) {
                if (editor.at(i).name == kABLabel && groupsLeft.contains(editor.at(i).group.toLower()))
                    editor.removed.insert(i);
            }
            const int anchor = editor.anchorOf({vcardNameOf(*key)});
            for (const auto &entry : std::as_const(added)) {
                const auto there = std::find_if(present.begin(), present.end(),
                                                [&entry](const auto &line) { return line.second == entry; });
                if (there != present.end()) {
                    present.erase(there); // the other program added the same
                    continue;
                }
                for (const VCardProperty &prop : entryLines(editor, *key, entry.first, entry.second, &editor.nextItem))
                    editor.add(anchor, prop);
            }
        }

        if (changed(kABBirthdayProperty)) {
            int line = -1;
            for (int i : editor.all(QStringLiteral("BDAY"))) {
                if (parseDate(editor.at(i).value).isValid()) {
                    line = i;
                    break;
                }
            }
            const QDateTime birthday = values.value(kABBirthdayProperty).toDateTime();
            if (!birthday.isValid()) {
                if (line >= 0)
                    editor.removed.insert(line);
            } else {
                if (line < 0)
                    line = editor.first(QStringLiteral("BDAY"));
                VCardProperty prop = line >= 0 ? editor.at(line) : makeProp(QStringLiteral("BDAY"), QString());
                bool apple = false;
                prop.value = birthdayText(birthday.toUTC().date(), prop.value, editor.v4, &apple);
                prop.params.removeIf([](const auto &param) { return param.first == QLatin1String("X-APPLE-OMIT-YEAR"); });
                if (apple)
                    prop.params.append({QStringLiteral("X-APPLE-OMIT-YEAR"), QStringLiteral("1604")});
                if (line >= 0)
                    editor.props.insert(line, prop);
                else
                    editor.add(editor.anchorOf({QStringLiteral("BDAY")}), prop);
            }
        }

        if (changed(kABCategoriesKey)) {
            const QStringList before = record.m_original.value(kABCategoriesKey).toStringList();
            const QStringList &after = record.m_categories;
            const QList<int> lines = editor.all(QStringLiteral("CATEGORIES"));
            for (int line : lines) {
                QStringList parts = VCardCodec::splitRaw(editor.at(line).value, u',');
                const qsizetype was = parts.size();
                parts.removeIf([&](const QString &part) {
                    const QString name = VCardCodec::unescape(part).trimmed();
                    return before.contains(name) && !after.contains(name);
                });
                if (parts.size() == was)
                    continue;
                if (VCardCodec::splitUnescape(parts.join(u','), u',').join(QString()).trimmed().isEmpty())
                    editor.removed.insert(line);
                else
                    editor.values.insert(line, parts.join(u','));
            }
            QStringList added;
            for (const QString &name : after) {
                if (!before.contains(name) && !theirs().m_categories.contains(name))
                    added.append(VCardCodec::escape(name));
            }
            const int last = lines.isEmpty() ? -1 : lines.last();
            if (!added.isEmpty() && last >= 0 && !editor.removed.contains(last))
                editor.values.insert(last, editor.value(last) + u',' + added.join(u','));
            else if (!added.isEmpty())
                editor.addNamed(QStringLiteral("CATEGORIES"), added.join(u','));
        }

        // Empty texts that the card's lines cannot show.
        QStringList textKeys;
        for (const QString &key : textProperties()) {
            if (changed(key))
                textKeys.append(key);
        }
        if (!textKeys.isEmpty()) {
            const int line = editor.first(kEmptyTexts);
            const QStringList names = line >= 0 ? VCardCodec::splitUnescape(editor.at(line).value, u',') : QStringList();
            QStringList now = names;
            now.removeIf([&textKeys](const QString &name) { return textKeys.contains(name); });
            for (const QString &key : textKeys) {
                const auto it = values.constFind(key);
                if (it != values.cend() && it->toString().isEmpty())
                    now.append(key);
            }
            if (now != names && now.isEmpty())
                editor.removed.insert(line);
            else if (now != names && line >= 0)
                editor.values.insert(line, now.join(u','));
            else if (now != names)
                editor.addNamed(kEmptyTexts, now.join(u','));
        }
    }
    if (changed(kABCreationDateProperty)) {
        const QDateTime created = values.value(kABCreationDateProperty).toDateTime();
        editor.setSingle(kCreatedProperty, created.isValid() ? QVariant(dateTimeText(created)) : QVariant());
    }
    if (!editor.changed()) {
        *out = current;
        return true;
    }
    // REV: the line that is read (the last), else a new one.
    // In the form of the line it replaces (basic or extended), else of the card's version.
    const QList<int> revs = editor.all(QStringLiteral("REV"));
    const bool extended = revs.isEmpty() ? editor.version == QLatin1String("3.0")
                                         : editor.at(revs.last()).value.contains(u'-');
    const QString rev =
        extended ? dateTimeText(revision) : revision.toUTC().toString(QStringLiteral("yyyyMMddTHHmmssZ"));
    if (revs.isEmpty())
        editor.add(-1, makeProp(QStringLiteral("REV"), rev));
    else
        editor.values.insert(revs.last(), rev);
    *out = editor.render();
    return true;
}
