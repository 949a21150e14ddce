#pragma once

#include <QString>

// Property and label names as the store keeps them and as they travel between peers. Both ends
// look records up by these texts, so they never change.

inline const QString kABFirstNameProperty = QStringLiteral("First");
inline const QString kABLastNameProperty = QStringLiteral("Last");
inline const QString kABMiddleNameProperty = QStringLiteral("Middle");
inline const QString kABMiddleNamePhoneticProperty = QStringLiteral("MiddlePhonetic");
inline const QString kABTitleProperty = QStringLiteral("Title");
inline const QString kABSuffixProperty = QStringLiteral("Suffix");
inline const QString kABNicknameProperty = QStringLiteral("Nickname");
inline const QString kABMaidenNameProperty = QStringLiteral("MaidenName");
inline const QString kABOrganizationProperty = QStringLiteral("Organization");
inline const QString kABDepartmentProperty = QStringLiteral("Department");
inline const QString kABJobTitleProperty = QStringLiteral("JobTitle");
inline const QString kABEmailProperty = QStringLiteral("Email");
inline const QString kABPhoneProperty = QStringLiteral("Phone");
inline const QString kABAddressProperty = QStringLiteral("Address");
inline const QString kABHomePageProperty = QStringLiteral("HomePage");
inline const QString kABURLsProperty = QStringLiteral("URLs");
inline const QString kABNoteProperty = QStringLiteral("Note");
inline const QString kABBirthdayProperty = QStringLiteral("Birthday");
inline const QString kABUIDProperty = QStringLiteral("UID");
inline const QString kABCreationDateProperty = QStringLiteral("Creation");
inline const QString kABModificationDateProperty = QStringLiteral("Modification");
inline const QString kABGroupNameProperty = QStringLiteral("GroupName");

inline const QString kABWorkLabel = QStringLiteral("work");
inline const QString kABHomeLabel = QStringLiteral("home");
inline const QString kABOtherLabel = QStringLiteral("other");
inline const QString kABEmailWorkLabel = kABWorkLabel;
inline const QString kABEmailHomeLabel = kABHomeLabel;
inline const QString kABPhoneWorkLabel = kABWorkLabel;
inline const QString kABPhoneHomeLabel = kABHomeLabel;
inline const QString kABPhoneMobileLabel = QStringLiteral("mobile");
inline const QString kABPhoneMainLabel = QStringLiteral("main");
inline const QString kABPhoneHomeFAXLabel = QStringLiteral("homefax");
inline const QString kABPhoneWorkFAXLabel = QStringLiteral("workfax");
inline const QString kABPhonePagerLabel = QStringLiteral("pager");

// Keys of an address entry's dictionary; only non-empty parts are entries.
inline const QString kABAddressStreetKey = QStringLiteral("Street");
inline const QString kABAddressCityKey = QStringLiteral("City");
inline const QString kABAddressStateKey = QStringLiteral("State");
inline const QString kABAddressZIPKey = QStringLiteral("ZIP");
inline const QString kABAddressCountryKey = QStringLiteral("Country");
inline const QString kABAddressPOBoxKey = QStringLiteral("POBox");
inline const QString kABAddressExtendedKey = QStringLiteral("Extended");
