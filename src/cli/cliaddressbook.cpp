#include "cliaddressbook.h"

#include "abaddressbook.h"

ABAddressBook *openCliAddressBook(const QString &directory, const char *command, QTextStream &err,
                                  std::unique_ptr<ABAddressBook> &own, const QStringList &onlyProperties)
{
    ABAddressBook *book = nullptr;
    if (!onlyProperties.isEmpty()) {
        own = std::make_unique<ABAddressBook>(directory.isEmpty() ? ABAddressBook::defaultDirectory() : directory,
                                              onlyProperties);
        book = own->isOpen() ? own.get() : nullptr;
    } else if (!directory.isEmpty()) {
        own = std::make_unique<ABAddressBook>(directory);
        book = own->isOpen() ? own.get() : nullptr;
    } else {
        book = ABAddressBook::sharedAddressBook();
    }
    if (!book)
        err << "zorbix-cli " << command << ": the address book "
            << (directory.isEmpty() ? ABAddressBook::defaultDirectory() : directory) << " cannot be opened\n";
    return book;
}
