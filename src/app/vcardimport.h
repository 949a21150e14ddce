#pragma once

#include <QStringList>

class QWidget;

// File > Import: takes the contacts and groups of vCard files into the address book, with a
// progress window while it reads, and tells the user what came in and what did not. Returns
// false when nothing could be saved.
bool importVCardFiles(QWidget *parent, const QStringList &paths);
// Asks for the files first.
void chooseAndImportVCardFiles(QWidget *parent);
