#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

class ABAddressBook;

// The store a command works on: the one in directory when given, else the user's. When it cannot
// be opened, says so on err (prefixed with the command's name) and returns nullptr. own keeps a
// store opened for the directory alive for the caller. onlyProperties: a store for reading only
// that holds just these person properties (see ABAddressBook).
ABAddressBook *openCliAddressBook(const QString &directory, const char *command, QTextStream &err,
                                  std::unique_ptr<ABAddressBook> &own, const QStringList &onlyProperties = {});
