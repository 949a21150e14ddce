#pragma once

#include <array>

// The sharer's card: eleven fields, each known on the wire by its tag (the "pData" keys). The
// card editor of the sharing side and the card view of the browsing side both use this table, so
// a field always lands in the field of the same role.
struct OwnerCardField
{
    const char *objectName; // the field's widget name on both sides
    int tag;
    const char *label;      // caption for the field (passed through tr() by the views)
};

// Tags are stable wire values; never renumber them.
enum OwnerCardTag : int {
    FirstNameTag = 1,
    LastNameTag = 2,
    BussDepartmentTag = 3,
    BussPhoneTag = 4,
    BussMobileTag = 5,
    BussProjectTag = 6,
    BussEmailTag = 7,
    PrivInterestsTag = 8,
    PrivWebsiteTag = 9,
    PrivEmailTag = 10,
    PrivCommentsTag = 11,
};

// The fields in declared order.
inline constexpr std::array<OwnerCardField, 11> kOwnerCardFields = {{
    {"firstNameFieldOL", FirstNameTag, "First name"},
    {"lastNameFieldOL", LastNameTag, "Last name"},
    {"bussDepartmentFieldOL", BussDepartmentTag, "Department"},
    {"bussPhoneFieldOL", BussPhoneTag, "Phone"},
    {"bussMobileFieldOL", BussMobileTag, "Mobile"},
    {"bussProjectFieldOL", BussProjectTag, "Project"},
    {"bussEmailFieldOL", BussEmailTag, "E-mail"},
    {"privInterestsFieldOL", PrivInterestsTag, "Interests"},
    {"privWebsiteFieldOL", PrivWebsiteTag, "Web site"},
    {"privEmailFieldOL", PrivEmailTag, "E-mail"},
    {"privCommentsFieldOL", PrivCommentsTag, "Comments"},
}};

// The order in which the sharing side reads the fields into an OwnerCard; with two fields of one
// tag, the later one wins.
inline constexpr std::array<const char *, 11> kOwnerCardReadingOrder = {
    "firstNameFieldOL",   "lastNameFieldOL",     "bussDepartmentFieldOL", "bussPhoneFieldOL",
    "bussMobileFieldOL",  "bussProjectFieldOL",  "privInterestsFieldOL",  "privWebsiteFieldOL",
    "privEmailFieldOL",   "privCommentsFieldOL", "bussEmailFieldOL",
};
