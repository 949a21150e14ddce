#include "ablocalized.h"

#include "abglobals.h"
#include "messagetable.h"

#include <QHash>

namespace {

struct Texts
{
    const char *en;
    const char *de;
};

const QHash<QString, Texts> &table()
{
    static const QHash<QString, Texts> texts = {
        {kABFirstNameProperty, {"First name", "Vorname"}},
        {kABLastNameProperty, {"Last name", "Nachname"}},
        {kABMiddleNameProperty, {"Middle name", "Zweiter Vorname"}},
        {kABMiddleNamePhoneticProperty, {"Phonetic middle name", "Zweiter Vorname (phonetisch)"}},
        {kABTitleProperty, {"Title", "Titel"}},
        {kABSuffixProperty, {"Suffix", "Namenszusatz"}},
        {kABNicknameProperty, {"Nickname", "Spitzname"}},
        {kABMaidenNameProperty, {"Maiden name", "Geburtsname"}},
        {kABOrganizationProperty, {"Company", "Firma"}},
        {kABDepartmentProperty, {"Department", "Abteilung"}},
        {kABJobTitleProperty, {"Job title", "Position"}},
        {kABEmailProperty, {"Email", "E-Mail"}},
        {kABPhoneProperty, {"Phone", "Telefon"}},
        {kABAddressProperty, {"Address", "Adresse"}},
        {kABHomePageProperty, {"Home page", "Homepage"}},
        {kABURLsProperty, {"URLs", "URLs"}},
        {kABNoteProperty, {"Note", "Notiz"}},
        {kABBirthdayProperty, {"Birthday", "Geburtstag"}},
        {kABUIDProperty, {"Unique ID", "Eindeutige ID"}},
        {kABCreationDateProperty, {"Created", "Erstellt"}},
        {kABModificationDateProperty, {"Modified", "Geändert"}},
        {kABGroupNameProperty, {"Group name", "Gruppenname"}},
        {kABWorkLabel, {"Work", "Arbeit"}},
        {kABHomeLabel, {"Home", "Privat"}},
        {kABOtherLabel, {"Other", "Andere"}},
        {kABPhoneMobileLabel, {"Mobile", "Mobil"}},
        {kABPhoneMainLabel, {"Main", "Hauptnummer"}},
        {kABPhoneHomeFAXLabel, {"Home fax", "Fax privat"}},
        {kABPhoneWorkFAXLabel, {"Work fax", "Fax geschäftlich"}},
        {kABPhonePagerLabel, {"Pager", "Pager"}},
        {kABAddressStreetKey, {"Street", "Straße"}},
        {kABAddressCityKey, {"City", "Ort"}},
        {kABAddressStateKey, {"State", "Bundesland"}},
        {kABAddressZIPKey, {"ZIP", "PLZ"}},
        {kABAddressCountryKey, {"Country", "Land"}},
        {kABAddressPOBoxKey, {"PO box", "Postfach"}},
        {kABAddressExtendedKey, {"Extended address", "Adresszusatz"}},
    };
    return texts;
}

} // namespace

QString ABLocalizedPropertyOrLabel(const QString &propertyOrLabel, const QString &language)
{
    const auto it = table().constFind(propertyOrLabel);
    if (it == table().cend())
        return propertyOrLabel;
    return QString::fromUtf8(language == QLatin1String("de") ? it->de : it->en);
}

QString ABLocalizedPropertyOrLabel(const QString &propertyOrLabel)
{
    return ABLocalizedPropertyOrLabel(propertyOrLabel, MessageTable::application().language());
}
