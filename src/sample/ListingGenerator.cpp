// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "sample/ListingGenerator.h"

#include "editing/Reindex.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "platform/Random.h"
#include "program/Program.h"
#include "store/Records.h"

#include <algorithm>
#include <vector>

namespace sample {

namespace {

// The program's own generator: fully specified, so every platform draws the
// same numbers (std:: distributions may differ between standard libraries).
class Rng
{
public:
    explicit Rng(quint64 state) : m_source(state) {}

    quint64 Next() { return m_source.Next(); }
    // 0..n-1 by multiply-shift: no modulo bias worth speaking of, no loop.
    quint32 Below(quint32 n) { return quint32(((Next() >> 32) * n) >> 32); }
    int Between(int lo, int hi) { return lo + int(Below(quint32(hi - lo + 1))); }
    bool Percent(quint32 p) { return Below(100) < p; }
    // An index drawn by integer weights.
    template <size_t N> int Weighted(const std::array<int, N>& w)
    {
        int total = 0;
        for (int x : w)
            total += x;
        int r = int(Below(quint32(total)));
        for (size_t i = 0; i < N; ++i) {
            if (r < w[i]) return int(i);
            r -= w[i];
        }
        return int(N - 1);
    }

private:
    RandomSource m_source;
};

enum HouseType { Brick, Panel, Monolith, Wooden, Block, kHouseTypes };

struct District
{
    const char16_t* name;
    int rating;
    int roublesPerMetre;
    std::array<int, kHouseTypes> typeWeights;
};

constexpr std::array<District, 10> kDistricts = {{
    {u"Старый Город", 95, 150000, {50, 5, 25, 15, 5}},
    {u"Соборный", 90, 140000, {45, 15, 25, 5, 10}},
    {u"Набережный", 85, 135000, {30, 20, 40, 0, 10}},
    {u"Заречье", 60, 105000, {25, 40, 15, 5, 15}},
    {u"Ольховка", 55, 100000, {20, 45, 10, 10, 15}},
    {u"Новоселье", 50, 98000, {10, 40, 40, 0, 10}},
    {u"Северные Холмы", 45, 92000, {15, 50, 15, 5, 15}},
    {u"Кирпичная Слобода", 35, 85000, {35, 30, 5, 20, 10}},
    {u"Заводской", 25, 78000, {15, 55, 5, 5, 20}},
    {u"Дальние Луга", 20, 70000, {10, 35, 15, 30, 10}},
}};
// How many of the listings each district gets.
constexpr std::array<int, 10> kDistrictShare = {8, 9, 10, 12, 11, 13, 11, 9, 10, 7};

struct HouseKind
{
    const char16_t* name;
    int rating;
    int pricePercent;
    int kitchenMin, kitchenMax; // tenths of a square metre
    std::array<int, 10> storeys;
};

constexpr std::array<HouseKind, kHouseTypes> kHouseKinds = {{
    {u"кирпичный", 80, 105, 60, 120, {2, 3, 4, 5, 5, 5, 9, 9, 10, 12}},
    {u"панельный", 40, 92, 60, 90, {5, 5, 9, 9, 9, 10, 12, 14, 16, 16}},
    {u"монолитный", 85, 115, 90, 160, {10, 12, 14, 16, 17, 17, 19, 22, 24, 25}},
    {u"деревянный", 10, 60, 50, 90, {1, 1, 2, 2, 2, 2, 2, 2, 1, 2}},
    {u"блочный", 50, 95, 60, 95, {5, 5, 5, 5, 9, 9, 9, 9, 10, 12}},
}};

struct Rated
{
    const char16_t* text;
    int rating;
};
constexpr std::array<Rated, 4> kBathrooms = {
    {{u"раздельный", 70}, {u"совмещённый", 40}, {u"2 с/у", 100}, {u"", 0}}};
constexpr std::array<Rated, 4> kTelephones = {{{u"есть", 70}, {u"нет", 0}, {u"2 линии", 100}, {u"", 0}}};

// Adjective street names: the stem, then the masculine ending ("ая" makes the feminine).
struct Adjective
{
    const char16_t* stem;
    const char16_t* masculine;
};
constexpr std::array<Adjective, 50> kAdjectives = {{
    {u"Рябинов", u"ый"},   {u"Кленов", u"ый"},    {u"Липов", u"ый"},    {u"Сиренев", u"ый"},
    {u"Черёмухов", u"ый"}, {u"Ольхов", u"ый"},    {u"Берёзов", u"ый"},  {u"Тополин", u"ый"},
    {u"Вишнёв", u"ый"},    {u"Малинов", u"ый"},   {u"Калинов", u"ый"},  {u"Ясенев", u"ый"},
    {u"Кедров", u"ый"},    {u"Лугов", u"ой"},     {u"Полев", u"ой"},    {u"Кузнечн", u"ый"},
    {u"Гончарн", u"ый"},   {u"Солнечн", u"ый"},   {u"Звёздн", u"ый"},   {u"Мельничн", u"ый"},
    {u"Песчан", u"ый"},    {u"Каменн", u"ый"},    {u"Овражн", u"ый"},   {u"Родников", u"ый"},
    {u"Ключев", u"ой"},    {u"Озёрн", u"ый"},     {u"Прудов", u"ой"},   {u"Нагорн", u"ый"},
    {u"Подгорн", u"ый"},   {u"Берегов", u"ой"},   {u"Тенист", u"ый"},   {u"Янтарн", u"ый"},
    {u"Хрустальн", u"ый"}, {u"Серебрян", u"ый"},  {u"Медов", u"ый"},    {u"Орехов", u"ый"},
    {u"Брусничн", u"ый"},  {u"Земляничн", u"ый"}, {u"Ромашков", u"ый"}, {u"Васильков", u"ый"},
    {u"Почтов", u"ый"},    {u"Школьн", u"ый"},    {u"Вокзальн", u"ый"}, {u"Фабричн", u"ый"},
    {u"Ткацк", u"ий"},     {u"Слободск", u"ой"},  {u"Ярмарочн", u"ый"}, {u"Лодочн", u"ый"},
    {u"Паромн", u"ый"},    {u"Мостов", u"ой"},
}};

// Street names in the genitive: they go with any kind of street.
constexpr std::array<const char16_t*, 50> kGenitives = {{
    u"Строителей",       u"Гончаров",         u"Садовников",        u"Ткачей",           u"Мельников",
    u"Рыбаков",          u"Плотников",        u"Каменщиков",        u"Лесоводов",        u"Печатников",
    u"Стекольщиков",     u"Речников",         u"Связистов",         u"Энергетиков",      u"Геологов",
    u"Ветеранов",        u"Студентов",        u"Учителей",          u"Металлургов",      u"Химиков",
    u"Авиаторов",        u"Мореходов",        u"Лоцманов",          u"Бондарей",         u"Кожевников",
    u"Пасечников",       u"Звонарей",         u"Часовщиков",        u"Игната Ветрова",   u"Степана Орешина",
    u"Фрола Куприянова", u"Матвея Зорина",    u"Прохора Бережнова", u"Ефима Ладыгина",   u"Агафьи Луговской",
    u"Савелия Крутова",  u"Тихона Ярцева",    u"Акима Полозова",    u"Лукьяна Дронова",  u"Марфы Ветлугиной",
    u"Архипа Сомова",    u"Никанора Глебова", u"Панкрата Осокина",  u"Зиновия Рябцева",  u"Ульяны Сёминой",
    u"Гордея Калашина",  u"Демьяна Вихрова",  u"Евсея Прудникова",  u"Трофима Шумилова", u"Варвары Лесковой",
}};

constexpr std::array<const char16_t*, 48> kLandmarks = {{
    u"Рынок",
    u"Центральная площадь",
    u"Площадь Ремёсел",
    u"Речной вокзал",
    u"Автовокзал",
    u"Железнодорожный вокзал",
    u"Дворец спорта",
    u"Дом культуры «Заря»",
    u"Кинотеатр «Парус»",
    u"Драмтеатр",
    u"Краеведческий музей",
    u"Городской парк",
    u"Парк «Ольховая роща»",
    u"Стадион «Речник»",
    u"Ледовая арена",
    u"Бассейн «Волна»",
    u"Городская больница",
    u"Роддом",
    u"Детская поликлиника",
    u"Университет",
    u"Технический колледж",
    u"Педагогический колледж",
    u"Библиотека",
    u"Почтамт",
    u"Телецентр",
    u"Мост через Ветлу",
    u"Набережная",
    u"Соборная площадь",
    u"Торговый центр «Пассаж»",
    u"Универмаг",
    u"Гостиный двор",
    u"Ткацкая фабрика",
    u"Кирпичный завод",
    u"Приборный завод",
    u"Хлебозавод",
    u"Депо",
    u"Элеватор",
    u"Водонапорная башня",
    u"Пожарная часть",
    u"Лесничество",
    u"Конечная",
    u"Садовое товарищество",
    u"Кольцо",
    u"Новый микрорайон",
    u"Спортивная школа",
    u"Дом быта",
    u"Сквер Победы",
    u"Рощинское кладбище",
}};

constexpr std::array<const char16_t*, 20> kAgencies = {{
    u"Новосёл",         u"Три окна",          u"Добрый адрес",    u"Кров и Ко",
    u"Ольховый двор",   u"Жилфонд Заречья",   u"Мой этаж",        u"Порог",
    u"Ключница",        u"Светлица",          u"Горница",         u"Кварталъ-Сервис",
    u"Домострой-Риэлт", u"Ветлуга-Жильё",     u"Соборная палата", u"Лестница",
    u"Надёжный угол",   u"Городская усадьба", u"Метр за метром",  u"Новый порог",
}};

constexpr std::array<const char16_t*, 10> kConditions = {{
    u"Евроремонт",
    u"Свежий косметический ремонт",
    u"Хорошее жилое состояние",
    u"Требуется косметический ремонт",
    u"Требуется капитальный ремонт",
    u"Ремонт от застройщика",
    u"Дизайнерский ремонт",
    u"Чистовая отделка",
    u"Квартира в отличном состоянии",
    u"Аккуратная квартира",
}};
constexpr std::array<const char16_t*, 8> kWindows = {{
    u"пластиковые окна",
    u"деревянные окна",
    u"окна во двор",
    u"окна на две стороны",
    u"окна на юг",
    u"вид на реку",
    u"вид на парк",
    u"окна на восток",
}};
constexpr std::array<const char16_t*, 14> kExtras = {{
    u"встроенная кухня",
    u"новая сантехника",
    u"тёплые полы",
    u"кладовая",
    u"гардеробная",
    u"счётчики на воду",
    u"металлическая дверь",
    u"кондиционер",
    u"ламинат",
    u"паркет",
    u"натяжные потолки",
    u"остаётся мебель",
    u"заменена проводка",
    u"домофон",
}};
constexpr std::array<const char16_t*, 14> kTails = {{
    u"Чистая продажа.",
    u"Альтернатива подобрана.",
    u"Один собственник.",
    u"Документы готовы.",
    u"Рядом школа и детский сад.",
    u"Тихий двор, детская площадка.",
    u"Возможна ипотека.",
    u"Торг уместен.",
    u"Срочная продажа.",
    u"Парковка во дворе.",
    u"Рядом рынок и остановка.",
    u"Показ в любое время.",
    u"Соседи спокойные.",
    u"Подъезд после ремонта.",
}};

struct Tables
{
    std::array<QString, 10> districts;
    std::array<QString, kHouseTypes> houseTypes;
    std::array<QString, 4> bathrooms;
    std::array<QString, 4> telephones;
    std::array<QString, 20> agencies;
    std::array<std::vector<QString>, 10> streets; // by district, with a trailing ", д. "
    std::array<std::vector<QString>, 10> stops;   // by district
    QString negotiable = QStringLiteral("договорная");
    QString privateSeller = QStringLiteral("частное лицо");

    Tables()
    {
        for (size_t i = 0; i < districts.size(); ++i)
            districts[i] = QString::fromUtf16(kDistricts[i].name);
        for (size_t i = 0; i < houseTypes.size(); ++i)
            houseTypes[i] = QString::fromUtf16(kHouseKinds[i].name);
        for (size_t i = 0; i < bathrooms.size(); ++i) {
            bathrooms[i] = QString::fromUtf16(kBathrooms[i].text);
            telephones[i] = QString::fromUtf16(kTelephones[i].text);
        }
        for (size_t i = 0; i < agencies.size(); ++i)
            agencies[i] = QString::fromUtf16(kAgencies[i]);

        std::vector<QString> allStreets;
        for (const Adjective& a : kAdjectives) {
            const QString stem = QString::fromUtf16(a.stem);
            const QString masc = QString::fromUtf16(a.masculine);
            allStreets.push_back(QStringLiteral("ул. ") + stem + QStringLiteral("ая"));
            allStreets.push_back(QStringLiteral("пер. ") + stem + masc);
            allStreets.push_back(QStringLiteral("проезд ") + stem + masc);
        }
        for (const char16_t* g : kGenitives) {
            const QString name = QString::fromUtf16(g);
            allStreets.push_back(QStringLiteral("ул. ") + name);
            allStreets.push_back(QStringLiteral("пр-т ") + name);
            allStreets.push_back(QStringLiteral("б-р ") + name);
        }
        std::vector<QString> allStops;
        for (const char16_t* l : kLandmarks)
            allStops.push_back(QString::fromUtf16(l));
        for (const Adjective& a : kAdjectives)
            allStops.push_back(QString::fromUtf16(a.stem) + QStringLiteral("ая улица"));
        for (const char16_t* g : kGenitives)
            allStops.push_back(QStringLiteral("Улица ") + QString::fromUtf16(g));
        for (int n = 1; n <= 30; n += 2)
            allStops.push_back(QStringLiteral("Школа № %1").arg(n));
        for (int n = 1; n <= 9; ++n)
            allStops.push_back(QStringLiteral("Поликлиника № %1").arg(n));

        // A fixed shuffle spreads similar names over the districts.
        Rng rng(0x5EED0F5EEDULL);
        deal(allStreets, streets, rng);
        deal(allStops, stops, rng);
        for (auto& list : streets)
            for (QString& s : list)
                s += QStringLiteral(", д. ");
    }

    static void deal(std::vector<QString>& all, std::array<std::vector<QString>, 10>& out, Rng& rng)
    {
        for (size_t i = all.size(); i > 1; --i)
            std::swap(all[i - 1], all[rng.Below(quint32(i))]);
        for (size_t i = 0; i < all.size(); ++i)
            out[i % out.size()].push_back(all[i]);
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

// "54.5" from 545 tenths, "54" from 540.
QString Tenths(int tenths)
{
    QString s = QString::number(tenths / 10);
    if (tenths % 10 != 0) {
        s += u'.';
        s += QChar(u'0' + tenths % 10);
    }
    return s;
}

// "2.65", "2.7", "3" from hundredths.
QString Hundredths(int h)
{
    QString s = QString::number(h / 100);
    const int frac = h % 100;
    if (frac != 0) {
        s += u'.';
        s += QChar(u'0' + frac / 10);
        if (frac % 10 != 0) s += QChar(u'0' + frac % 10);
    }
    return s;
}

void AppendTwoDigits(QString& s, int n)
{
    s += QChar(u'0' + n / 10);
    s += QChar(u'0' + n % 10);
}

// Listing dates run over half a year, up to the end of November 2026.
QString DateText(int dayOffset)
{
    constexpr std::array<int, 6> monthDays = {30, 31, 31, 30, 31, 30}; // June..November
    int month = 6;
    for (int len : monthDays) {
        if (dayOffset < len) break;
        dayOffset -= len;
        ++month;
    }
    QString s;
    s.reserve(10);
    AppendTwoDigits(s, dayOffset + 1);
    s += u'.';
    AppendTwoDigits(s, month);
    s += QStringLiteral(".2026");
    return s;
}

// Appends a text with its first letter in upper case: it opens a sentence.
void AppendCapitalised(QString& s, QStringView text)
{
    s += text.front().toUpper();
    s += text.mid(1);
}

QString Description(Rng& rng, HouseType type, int rooms)
{
    QString d;
    d.reserve(160);
    int condition = rng.Between(0, 9);
    // Finishing by the builder only happens in new monolithic houses.
    if (type != Monolith && (condition == 5 || condition == 7)) condition -= 4;
    d += QStringView(kConditions[size_t(condition)]);
    d += QStringLiteral(", ");
    switch (rng.Below(6)) {
    case 0:
        d += QStringLiteral("балкон застеклён");
        break;
    case 1:
        d += QStringLiteral("лоджия ");
        d += Tenths(rng.Between(25, 65));
        d += QStringLiteral(" м застеклена");
        break;
    case 2:
        d += rooms > 1 ? QStringLiteral("два балкона") : QStringLiteral("балкон не застеклён");
        break;
    case 3:
        d += QStringLiteral("без балкона");
        break;
    case 4:
        d += QStringLiteral("балкон не застеклён");
        break;
    default:
        d += QStringLiteral("эркер");
        break;
    }
    d += QStringLiteral(", ");
    d += QStringView(kWindows[rng.Below(quint32(kWindows.size()))]);
    d += QStringLiteral(", потолки ");
    d += Hundredths(type == Brick || type == Monolith ? rng.Between(255, 320) : rng.Between(245, 275));
    d += QStringLiteral(" м. ");
    const quint32 first = rng.Below(quint32(kExtras.size()));
    AppendCapitalised(d, kExtras[first]);
    if (rng.Percent(60)) {
        // Any other extra, never the same one twice.
        const quint32 second = (first + 1 + rng.Below(quint32(kExtras.size() - 1))) % quint32(kExtras.size());
        d += QStringLiteral(", ");
        d += QStringView(kExtras[second]);
    }
    d += QStringLiteral(". ");
    d += QStringView(kTails[rng.Below(quint32(kTails.size()))]);
    return d;
}

struct AttributeType
{
    Kind kind;
    const char16_t* formula;
    const char16_t* comment;
};

constexpr field::FieldArray<AttributeType, field::Attributes> kTypes = {{{
    {Kind::ByValue, u"", u"Центр и набережная ценятся выше окраин"},
    {Kind::Numeric, u"", u"Больше комнат — просторнее, но дороже"},
    {Kind::Numeric, u"", u"Первый и последний этажи обычно дешевле"},
    {Kind::ByValue, u"", u"Кирпич и монолит теплее и долговечнее панели"},
    {Kind::Ordinal, u"", u"Адрес сравнивается дословно"},
    {Kind::Numeric, u"", u"Цена в тысячах рублей"},
    {Kind::Numeric, u"", u"Общая площадь в квадратных метрах"},
    {Kind::Numeric, u"", u"Жилая площадь комнат без кухни и коридоров"},
    {Kind::Numeric, u"", u"Кухня от 9 кв. м удобна для семьи"},
    {Kind::Ordinal, u"", u"Ближайшая остановка общественного транспорта"},
    {Kind::ByFormula, u"100 - Расстояние до остановки / 20",
     u"Чем ближе остановка, тем лучше: 100 у самой остановки, 0 за два километра"},
    {Kind::ByValue, u"", u"Раздельный санузел удобнее совмещённого"},
    {Kind::ByValue, u"", u"Две линии лучше одной, без телефона хуже всего"},
    {Kind::Ordinal, u"", u"Агентство, через которое продаётся квартира"},
    {Kind::Ordinal, u"", u"Дата подачи объявления"},
    {Kind::Ordinal, u"", u"Свободное описание продавца"},
    {Kind::Numeric, u"", u"Этажность дома"},
}}};

// The expert's rating of a value of a formalized attribute; 0 for anything unrated.
int Rating(field::Field attribute, const QString& value)
{
    auto find = [&value](const auto& list) {
        for (const auto& r : list)
            if (value == QStringView(r.text)) return r.rating;
        return 0;
    };
    switch (attribute) {
    case field::District:
        for (const District& d : kDistricts)
            if (value == QStringView(d.name)) return d.rating;
        return 0;
    case field::HouseType:
        for (const HouseKind& h : kHouseKinds)
            if (value == QStringView(h.name)) return h.rating;
        return 0;
    case field::Bathroom:
        return find(kBathrooms);
    case field::Telephone:
        return find(kTelephones);
    default:
        return 0;
    }
}

} // namespace

field::FieldArray<QString> GenerateListing(quint64 index, quint32 seed)
{
    const Tables& t = tables();
    // Each listing gets its own well separated stream, so any listing can be made
    // alone, in any order.
    Rng rng(RandomSource::Mix(index ^ RandomSource::Mix(0xA5A5000000000000ULL | seed)));

    const int district = rng.Weighted(kDistrictShare);
    const District& dist = kDistricts[size_t(district)];
    const auto type = HouseType(rng.Weighted(dist.typeWeights));
    const HouseKind& house = kHouseKinds[size_t(type)];
    const int storeys = house.storeys[rng.Below(10)];
    const int floor = rng.Between(1, storeys);
    int rooms = 1 + rng.Weighted(std::array<int, 5>{30, 35, 25, 8, 2});
    if (type == Wooden) rooms = std::min(rooms, 3);

    constexpr std::array<int, 5> areaMin = {300, 440, 580, 750, 950};
    constexpr std::array<int, 5> areaMax = {420, 620, 820, 1050, 1400};
    int total = rng.Between(areaMin[size_t(rooms - 1)], areaMax[size_t(rooms - 1)]);
    if (type == Monolith) total += total / 10;
    const int living = total * rng.Between(rooms == 1 ? 48 : 55, rooms == 1 ? 60 : 68) / 100;
    const int kitchen = rng.Between(house.kitchenMin, house.kitchenMax);

    field::FieldArray<QString> f;
    f[field::District] = t.districts[size_t(district)];
    f[field::Rooms] = QString::number(rooms);
    f[field::Floor] = QString::number(floor);
    f[field::HouseType] = t.houseTypes[size_t(type)];

    const auto& streets = t.streets[size_t(district)];
    QString address = streets[rng.Below(quint32(streets.size()))];
    address += QString::number(rng.Between(1, 250));
    if (rng.Percent(15)) {
        address += QStringLiteral(", корп. ");
        address += QString::number(rng.Between(1, 4));
    }
    address += QStringLiteral(", кв. ");
    address += QString::number(rng.Between(1, std::max(8, storeys * 4 * rng.Between(1, 8))));
    f[field::Address] = address;

    // Integer arithmetic only: the price must come out the same on every machine.
    qint64 perMetre = qint64(dist.roublesPerMetre) * house.pricePercent / 100;
    if (floor == 1 || (floor == storeys && storeys > 2)) perMetre = perMetre * 95 / 100;
    perMetre = perMetre * rng.Between(88, 112) / 100;
    const qint64 thousands = (qint64(total) * perMetre / 10 / 1000 + 5) / 10 * 10;
    const bool negotiable = rng.Percent(2);
    f[field::Price] = negotiable ? t.negotiable : QString::number(thousands);
    f[field::TotalArea] = Tenths(total);
    f[field::LivingArea] = Tenths(living);
    f[field::KitchenArea] = rng.Percent(3) ? QString() : Tenths(kitchen);

    const auto& stops = t.stops[size_t(district)];
    f[field::Stop] = stops[rng.Below(quint32(stops.size()))];
    // Always a plain number: the distance formula reads this field as it stands.
    f[field::StopDistance] = QString::number(rng.Between(3, 195) * 10);

    const int bathroom = rooms == 1   ? rng.Weighted(std::array<int, 4>{30, 68, 0, 2})
                         : rooms <= 3 ? rng.Weighted(std::array<int, 4>{64, 30, 4, 2})
                                      : rng.Weighted(std::array<int, 4>{45, 5, 48, 2});
    f[field::Bathroom] = t.bathrooms[size_t(bathroom)];
    f[field::Telephone] = t.telephones[size_t(rng.Weighted(std::array<int, 4>{55, 25, 5, 15}))];
    const quint32 seller = rng.Below(100);
    f[field::Agency] = seller < 8 ? t.privateSeller : seller < 11 ? QString() : t.agencies[rng.Below(20)];
    f[field::Date] = DateText(int(rng.Below(183)));
    f[field::Description] = Description(rng, type, rooms);
    f[field::Storeys] = QString::number(storeys);
    return f;
}

QString DatabaseLine(const field::FieldArray<QString>& fields)
{
    qsizetype size = fields.size();
    for (const QString& s : fields)
        size += s.size();
    QString line;
    line.reserve(size);
    for (const QString& s : fields) {
        line += s;
        line += u'|';
    }
    return line;
}

QStringList SampleDatabaseLines(quint64 count, quint32 seed)
{
    QStringList lines;
    lines.reserve(qsizetype(count));
    for (quint64 i = 0; i < count; ++i)
        lines.append(DatabaseLine(GenerateListing(i, seed)));
    return lines;
}

void AppendSampleListings(Records& records, quint64 count, quint32 seed)
{
    records.Items.Reserve(records.Items.Count() + int(count));
    int pieces = 0;
    for (quint64 i = 0; i < count; ++i) {
        auto r = std::make_shared<Record>();
        (void)r->AssignLine(DatabaseLine(GenerateListing(i, seed)), pieces); // always all the fields
        records.Items.Add(std::move(r));
    }
}

void BuildSampleMarket(Program& program, quint64 count, quint32 seed)
{
    program.Records.Clear();
    AppendSampleListings(program.Records, count, seed);
    KnowledgeBase& kb = program.Knowledge;
    kb = KnowledgeBase();
    const auto& names = DefaultAttributeNames();
    for (field::Field k : field::AttributeFields) {
        kb.AttributeNames[k] = names[k];
        const AttributeType& a = kTypes[k];
        kb.AttributeKinds[k] = kinds::TextOf(a.kind);
        kb.AttributeFormulas[k] = QString::fromUtf16(a.formula);
        kb.AttributeComments[k] = QString::fromUtf16(a.comment);
    }
    // The accepted values and the ranges are what a re-index finds; the
    // expert then rates the values of the attributes formalized by value.
    [[maybe_unused]] const bool finished = Normalize(program); // nothing here can cancel it
    for (field::Field k : field::AttributeFields) {
        if (kTypes[k].kind != Kind::ByValue) continue;
        AttributeValueList& list = kb.AttributeValueLists[k];
        for (int p = 1; p <= list.Count(); ++p)
            list.SetScore(p, QString::number(Rating(k, list.Value(p))));
    }
}

QStringList SampleKnowledgeLines(quint64 count, quint32 seed)
{
    // The program's folder is never read or written: the knowledge base is
    // built in memory and only its file text is taken.
    Program program{QStringLiteral(".")};
    BuildSampleMarket(program, count, seed);
    QStringList lines =
        textfile::FromCp1251(program.Knowledge.SaveKnowledgeBytes()).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the end of the last line
    return lines;
}

} // namespace sample
