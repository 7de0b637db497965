#pragma once

#include <QStringList>

// The order a box offers accepted values in: numbers first, by value; then
// texts in Russian alphabetical order, case aside and numbers inside a text
// by value ("ул. Мира, 2" before "ул. Мира, 10"). Blank entries and repeats
// are left out; entries that sort alike keep their order.
QStringList SortedChoices(const QStringList& values);
