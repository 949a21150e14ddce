#pragma once

#include "flatperson.h"

#include <QString>

#include <memory>

class ABPerson;

// What the browse window does with the sharer's card (field tag -> text, as the card fields show
// it): the person a copy adds to the address book, and the mail address a mail button may use.
class SharerCard
{
public:
    SharerCard() = delete;

    // "Project: ...", "Interests: ..." and "Comment: ..." lines, each ended by a line feed, for the
    // fields that are not empty; empty when all three are.
    static QString note(const QString &project, const QString &interests, const QString &comments);
    // A new person (not yet in a store) with the card's names, department, web site, both phones,
    // both mail addresses and the note. Every field is set, empty ones too.
    static std::unique_ptr<ABPerson> newPerson(const OwnerCard &card);
    // The address of a mail value from somebody else's card, without anything that would make a
    // mail program do more than address a new mail: a leading "mailto:" and everything from the
    // first "?" (attach=, cc=, body=, ...) go, also when percent-encoded. Empty when what remains
    // is no mail address (a web address, several addresses, spaces or control characters).
    static QString mailAddressOnly(const QString &value);
};
