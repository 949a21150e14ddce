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
bool isNeutralType(const QString &type)
{
    static const QStringList neutral = {
        QStringLiteral("pref"), QStringLiteral("voice"),  QStringLiteral("internet"),
        QStringLiteral("x400"), QStringLiteral("msg"),    QStringLiteral("dom"),
        QStringLiteral("intl"), QStringLiteral("postal"), QStringLiteral("parcel"),
        QStringLiteral("text"), QStringLiteral("uri"),    QStringLiteral("x-internet")};
    return neutral.contains(type);
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

QStringList meaningfulTypes(const VCardProperty &prop)
{
    QStringList types = prop.paramValues(QStringLiteral("TYPE"));
    types.removeIf(isNeutralType);
    for (QString &type : types)
        type = cleanText(type);
    return types;
}

QString simpleLabel(const QStringList &types)
{
    if (types.contains(QLatin1String("work")))
        return kABWorkLabel;
    if (types.contains(QLatin1String("home")))
        return kABHomeLabel;
    if (types.contains(QLatin1String("other")))
        return kABOtherLabel;
    return types.isEmpty() ? kABOtherLabel : types.first();
}

QString labelOf(const VCardProperty &prop, const VCard &card)
{
    const QString custom = groupLabel(prop, card);
    if (!custom.isNull())
        return custom;
    const QStringList types = meaningfulTypes(prop);
    if (prop.name == QLatin1String("TEL"))
        return ABCardMapper::labelForPhoneTypes(types);
    return simpleLabel(types);
}

QString cleanText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(u'\r', u'\n');
    return out;
}

QString textOf(const VCardProperty &prop)
{
    return cleanText(VCardCodec::unescape(prop.value));
}

QDate parseDate(QString text)
{
    text = text.trimmed();
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

void readPerson(const VCard &card, ABRecord &record, QVariantMap &values, QStringList &categories)
{
    Q_UNUSED(record);
    ABMultiValue emails, phones, addresses, urls;
    QString homePage;
    bool sawN = false;
    for (const VCardProperty &prop : card.properties) {
        const QString &name = prop.name;
        if (name == QLatin1String("N")) {
            if (sawN)
                continue;
            sawN = true;
            const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
            for (int i = 0; i < 5 && i < parts.size(); ++i)
                setText(values, *kNameParts[i], cleanText(parts.at(i).trimmed()));
        } else if (name == QLatin1String("ORG")) {
            if (values.contains(kABOrganizationProperty))
                continue;
            const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
            setText(values, kABOrganizationProperty, cleanText(parts.value(0).trimmed()));
            setText(values, kABDepartmentProperty, cleanText(parts.value(1).trimmed()));
        } else if (name == QLatin1String("NICKNAME")) {
            if (!values.contains(kABNicknameProperty))
                setText(values, kABNicknameProperty, textOf(prop));
        } else if (name == QLatin1String("X-MAIDENNAME")) {
            if (!values.contains(kABMaidenNameProperty))
                setText(values, kABMaidenNameProperty, textOf(prop));
        } else if (name == QLatin1String("X-PHONETIC-MIDDLE-NAME")) {
            if (!values.contains(kABMiddleNamePhoneticProperty))
                setText(values, kABMiddleNamePhoneticProperty, textOf(prop));
        } else if (name == QLatin1String("TITLE")) {
            if (!values.contains(kABJobTitleProperty))
                setText(values, kABJobTitleProperty, textOf(prop));
        } else if (name == QLatin1String("NOTE")) {
            if (!values.contains(kABNoteProperty))
                setText(values, kABNoteProperty, textOf(prop));
        } else if (name == QLatin1String("EMAIL")) {
            const QString text = textOf(prop);
            if (!text.trimmed().isEmpty())
                emails.addValue(text, labelOf(prop, card));
        } else if (name == QLatin1String("TEL")) {
            QString text = textOf(prop);
            if (text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                text = text.mid(4);
            if (!text.trimmed().isEmpty())
                phones.addValue(text, labelOf(prop, card));
        } else if (name == QLatin1String("ADR")) {
            const QStringList parts = VCardCodec::splitUnescape(prop.value, u';');
            QVariantMap address;
            for (int i = 0; i < kAddressParts.size() && i < parts.size(); ++i) {
                const QString part = cleanText(parts.at(i)).trimmed();
                if (!part.isEmpty())
                    address.insert(kAddressParts.at(i).first, part);
            }
            if (!address.isEmpty())
                addresses.addValue(address, labelOf(prop, card));
        } else if (name == QLatin1String("URL")) {
            const QString text = textOf(prop).trimmed();
            if (text.isEmpty())
                continue;
            const QString custom = groupLabel(prop, card);
            const QStringList types = meaningfulTypes(prop);
            const bool plain = (custom.isNull() && types.isEmpty()) || custom == QLatin1String("homepage");
            if (plain && homePage.isNull())
                homePage = text;
            else
                urls.addValue(text, labelOf(prop, card));
        } else if (name == QLatin1String("BDAY")) {
            if (values.contains(kABBirthdayProperty))
                continue;
            const QDate date = parseDate(prop.value);
            if (date.isValid())
                values.insert(kABBirthdayProperty, birthdayValue(date));
        } else if (name == QLatin1String("REV")) {
            const QDateTime rev = parseDateTime(prop.value);
            if (rev.isValid())
                values.insert(kABModificationDateProperty, rev);
        } else if (name == kCreatedProperty) {
            const QDateTime created = parseDateTime(prop.value);
            if (created.isValid())
                values.insert(kABCreationDateProperty, created);
        } else if (name == QLatin1String("CATEGORIES")) {
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

QString dateTimeText(const QDateTime &value)
{
    return value.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

struct LabelWriter
{
    int nextItem = 1;
    // Standard labels become TYPE parameters; any other label an Apple item group with X-ABLabel.
    void add(QList<VCardProperty> &out, VCardProperty prop, const QString &label)
    {
        QString types;
        const bool tel = prop.name == QLatin1String("TEL");
        const bool url = prop.name == QLatin1String("URL");
        if (label == kABWorkLabel)
            types = QStringLiteral("WORK");
        else if (label == kABHomeLabel)
            types = QStringLiteral("HOME");
        else if (label == kABOtherLabel)
            types = url ? QStringLiteral("OTHER") : QString();
        else if (tel && label == kABPhoneMobileLabel)
            types = QStringLiteral("CELL");
        else if (tel && label == kABPhoneMainLabel)
            types = QStringLiteral("MAIN");
        else if (tel && label == kABPhoneHomeFAXLabel)
            types = QStringLiteral("HOME,FAX");
        else if (tel && label == kABPhoneWorkFAXLabel)
            types = QStringLiteral("WORK,FAX");
        else if (tel && label == kABPhonePagerLabel)
            types = QStringLiteral("PAGER");
        else {
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

std::unique_ptr<ABRecord> ABCardMapper::recordFromCard(const VCard &card)
{
    std::unique_ptr<ABRecord> record;
    if (isGroupCard(card))
        record.reset(new ABGroup());
    else
        record.reset(new ABPerson());
    read(card, *record);
    return record;
}

bool ABCardMapper::isGroupCard(const VCard &card)
{
    for (const VCardProperty &prop : card.properties) {
        if ((prop.name == QLatin1String("KIND") || prop.name == kAppleKind) &&
            prop.value.trimmed().compare(QLatin1String("group"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void ABCardMapper::read(const VCard &card, ABRecord &record)
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
        readPerson(card, record, record.m_values, record.m_categories);
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
        if (prop.name == QLatin1String("MEMBER") || prop.name == kAppleMember) {
            const QString ref = textOf(prop).trimmed();
            if (!ref.isEmpty())
                record.m_memberRefs.append(ref);
        } else if (prop.name == QLatin1String("REV")) {
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

VCard ABCardMapper::write(const ABRecord &record, const VCard &base)
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
                                          birthday.toUTC().date().toString(QStringLiteral("yyyy-MM-dd")));
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
    const QDateTime modified = values.value(kABModificationDateProperty).toDateTime();
    if (modified.isValid())
        out.append(makeProp(QStringLiteral("REV"), dateTimeText(modified)));

    for (const VCardProperty &prop : base.properties) {
        if (isModeled(prop, group))
            continue;
        if (!group && prop.name == QLatin1String("BDAY") && !keepOldBirthday)
            continue;
        if (prop.name == kABLabel && rewrittenGroups.contains(prop.group.toLower()))
            continue;
        out.append(prop);
    }
    return card;
}
