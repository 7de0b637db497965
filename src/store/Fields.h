// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QMetaType>

#include <array>
#include <cstddef>
#include <span>

// The fields of a listing by name. A field's position in a line of the
// database file is also the number of its attribute in knows.txt; in the
// program a field is only ever named, and a table of fields is a FieldArray.
namespace field {

enum class Field : int {
    District,
    Rooms,
    Floor, // "5/9" in the database file is split into Floor and Storeys
    HouseType,
    Address,
    Price, // thousands of roubles
    TotalArea,
    LivingArea,
    KitchenArea,
    Stop,         // the nearest public-transport stop
    StopDistance, // metres to that stop
    Bathroom,
    Telephone,
    Agency,
    Date, // text in no fixed form
    Description,
    Storeys,  // of the house
    Reserved, // no attribute: only carried through the database file
};
// field::Price rather than field::Field::Price.
using enum Field;

// Fields District..Storeys are attributes; the database file holds all of them.
constexpr int Attributes = static_cast<int>(Reserved);
constexpr int Count = Attributes + 1;

// A field's position in a line of the database file (and its attribute's
// number in knows.txt), for the file code and for messages.
inline constexpr int Index(Field f)
{
    return static_cast<int>(f);
}
inline constexpr std::size_t Slot(Field f)
{
    return static_cast<std::size_t>(f);
}
// The field at a position read from a file (or counted in the file code).
// Nothing is checked here: Record and KnowledgeBase check what they are given.
inline constexpr Field At(int index)
{
    return static_cast<Field>(index);
}

inline constexpr bool IsAttribute(Field f)
{
    return Index(f) >= 0 && Index(f) < Attributes;
}

// Every field that is an attribute, in order, and every field of a listing:
// for (field::Field f : field::AttributeFields) ...
inline constexpr std::array<Field, Attributes> AttributeFields = [] {
    std::array<Field, Attributes> all{};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<Field>(i);
    return all;
}();
inline constexpr std::array<Field, Count> AllFields = [] {
    std::array<Field, Count> all{};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<Field>(i);
    return all;
}();

// One value per field, indexed by the field's name only: an int does not index
// it, so a table and its index cannot drift apart. N is Count (every field of a
// listing, the knowledge base's slots) or Attributes.
template <typename T, int N = Count> struct FieldArray
{
    static_assert(N == Attributes || N == Count);
    std::array<T, N> items{};

    constexpr T& operator[](Field f) { return items[Slot(f)]; }
    constexpr const T& operator[](Field f) const { return items[Slot(f)]; }
    static constexpr int size() { return N; }
    constexpr auto begin() { return items.begin(); }
    constexpr auto end() { return items.end(); }
    constexpr auto begin() const { return items.begin(); }
    constexpr auto end() const { return items.end(); }
    constexpr T* data() { return items.data(); }
    constexpr const T* data() const { return items.data(); }
    friend bool operator==(const FieldArray&, const FieldArray&) = default;
};

} // namespace field

// A field in a QVariant (an item's data, a test's table of cases).
Q_DECLARE_METATYPE(field::Field)

// What the windows, the command line and the importer show of the fields.
// Widths are in twips, as the windows lay them out.
namespace fieldinfo {

// The attribute names, as the knowledge base starts with them; also the words
// that stand for the fields in formulas.
inline constexpr field::FieldArray<const char16_t*, field::Attributes> Names = {{
    u"Район",
    u"Количество комнат",
    u"Этаж",
    u"Тип дома",
    u"Адрес",
    u"Цена",
    u"Общая площадь",
    u"Полезная площадь",
    u"Площадь кухни",
    u"Остановка",
    u"Расстояние до остановки",
    u"Сан узел",
    u"Телефон",
    u"Агенство",
    u"Дата",
    u"Описание",
    u"Количество этажей",
}};

// A column of a listing table: its caption, its width and the fields its cell
// joins with "/" (none: the match of the last search).
struct Column
{
    const char16_t* header;
    int twips;
    std::array<field::Field, 3> parts;
    int partCount;
};

// The result list of the main window (and the copied and saved rows).
inline constexpr Column ResultColumns[] = {
    {u"Район", 2200, {field::District}, 1},
    {u"Ком", 500, {field::Rooms}, 1},
    {u"Этаж", 600, {field::Floor, field::Storeys}, 2},
    {u"Тип", 1300, {field::HouseType}, 1},
    {u"Адрес", 1440, {field::Address}, 1},
    {u"Площадь", 900, {field::TotalArea, field::LivingArea, field::KitchenArea}, 3},
    {u"Описание", 3440, {field::Description}, 1},
    {u"Цена", 799, {field::Price}, 1},
    {u"Агенство", 2300, {field::Agency}, 1},
    {u"% совпадения", 800, {}, 0},
};
inline constexpr int ResultColumnCount = static_cast<int>(std::size(ResultColumns));

// The listing table of the database editor.
// clang-format off
inline constexpr Column EditorColumns[] = {
    {u"Дата",      1440, {field::Date},                   1},
    {u"Район",     1440, {field::District},               1},
    {u"Ком",        700, {field::Rooms},                  1},
    {u"Этаж",       700, {field::Floor, field::Storeys},  2},
    {u"Тип",       1000, {field::HouseType},              1},
    {u"Адрес",     1440, {field::Address},                1},
    {u"Площадь",    700, {field::TotalArea},              1},
    {u"Описание",  1440, {field::Description},            1},
    {u"Цена",       800, {field::Price},                  1},
    {u"Агентство", 1440, {field::Agency},                 1},
};
// clang-format on
inline constexpr int EditorColumnCount = static_cast<int>(std::size(EditorColumns));

// A wish box of the main window: the number in its names (Combo<n>, Label<n>),
// the column it stands in (0 left, 1 middle, 2 right; top to bottom in table
// order), its caption and its tooltip. Its list holds the attribute's accepted
// values (with only the first letter in capitals where `capitalized`), or the
// fixed `choices` where there are any.
struct WishBox
{
    field::Field field;
    int box;
    int column;
    const char16_t* caption;
    const char16_t* tooltip;
    bool capitalized = false;
    std::span<const char16_t* const> choices = {};
};

inline constexpr const char16_t* PriceChoices[] = {u"1000", u"1500", u"2000", u"3000",
                                                   u"4000", u"500",  u"5000", u"Договорная"};

// The attributes up to Agency have a wish box; the others are never wished for.
inline constexpr WishBox WishBoxes[] = {
    {field::District, 1, 0, u"Район", u"Район квартиры/дома, выберите из списка"},
    {field::Rooms, 2, 0, u"Количество комнат", u"Количество комнат, численное значение"},
    {field::Floor, 3, 0, u"Этаж", u"Этаж квартиры"},
    {field::HouseType, 4, 0, u"Тип дома", u"Тип дома, выберите из списка", true},
    {field::Address, 5, 0, u"Адрес", u"Адрес, выберите из списка"},
    {field::Price, 14, 0, u"Цена (т.р)  от", u"Адрес, выберите из списка", false, PriceChoices},
    {field::TotalArea, 6, 1, u"Общая площадь", nullptr},
    {field::LivingArea, 7, 1, u"Полезная", nullptr},
    {field::KitchenArea, 8, 1, u"Кухня", nullptr},
    {field::Agency, 13, 1, u"Агенство", nullptr},
    {field::Stop, 9, 2, u"Остановка", nullptr},
    {field::StopDistance, 10, 2, u"Расстояние до остоновки (м)", nullptr},
    {field::Bathroom, 11, 2, u"Сан узел", nullptr},
    {field::Telephone, 12, 2, u"Наличие телефона", nullptr},
};
// The wishes a search reads are those of the attributes up to LastWished.
inline constexpr field::Field LastWished = field::Agency;

// A row of the record dialog: its label's number (Label<n>), its caption, and
// its box: Combo<combo>, or Text<text> where combo is 0.
struct RecordRow
{
    field::Field field;
    int label;
    const char16_t* caption;
    int combo;
    int text;
};

// Top to bottom.
inline constexpr RecordRow RecordRows[] = {
    {field::Date, 15, u"Дата", 0, 1},
    {field::District, 1, u"Район", 1, 0},
    {field::Rooms, 2, u"Количество комнат", 2, 0},
    {field::Floor, 3, u"Этаж", 3, 0},
    {field::Storeys, 17, u"Количество этажей", 12, 0},
    {field::HouseType, 4, u"Тип дома", 4, 0},
    {field::Address, 5, u"Адрес", 5, 0},
    {field::Price, 7, u"Цена (т.р)", 10, 0},
    {field::TotalArea, 6, u"Общая площадь", 9, 0},
    {field::LivingArea, 9, u"Полезная", 8, 0},
    {field::KitchenArea, 8, u"Кухня", 7, 0},
    {field::Stop, 10, u"Остановка", 6, 0},
    {field::StopDistance, 11, u"Расстояние до остоновки (м)", 11, 0},
    {field::Bathroom, 12, u"Сан узел", 15, 0},
    {field::Telephone, 13, u"Наличие телефона", 14, 0},
    {field::Agency, 14, u"Агенство", 13, 0},
    {field::Description, 16, u"Описание", 0, 2},
};

} // namespace fieldinfo
