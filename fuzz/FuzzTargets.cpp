// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "FuzzTargets.h"

#include "html/PageLoader.h"
#include "import/SiteLayout.h"
#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "platform/Text.h"
#include "script/ScriptEngine.h"
#include "store/Records.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

} // namespace

void Database(const uint8_t* data, size_t size)
{
    Records records;
    try {
        records.LoadFromBytes(QStringLiteral("database.txt"), bytesOf(data, size));
    } catch (const VestranaError&) {
        return;
    }
    // Every listing is its line as the line reader decodes it, split the plain
    // way: the loader's decoding on the bytes, field by field, changes nothing.
    textfile::LineReader lines(QStringLiteral("database.txt"), bytesOf(data, size));
    for (const RecordPtr& r : records.Items) {
        Record plain;
        int pieces = 0;
        if (!plain.AssignLine(lines.ReadLine(), pieces)) broken("a loaded listing's line has too few fields");
        plain.NormalizeData();
        for (field::Field i : field::AllFields) {
            if (r->Field(i).contains(u'\n')) broken("a field holds a line break");
            if (r->Field(i) != plain.Field(i)) broken("a loaded field differs from its line's text");
        }
        if (r->Extra() != plain.Extra()) broken("the pieces after the fields differ from the line's");
    }
}

void Knowledge(const uint8_t* data, size_t size)
{
    KnowledgeBase kb;
    try {
        kb.LoadKnowledgeBytes(QStringLiteral("knows.txt"), bytesOf(data, size));
    } catch (const VestranaError&) {
        return;
    }
    // Whatever loads, the program writes back in a form it loads again, and
    // the second save gives the same file as the first.
    const QByteArray first = kb.SaveKnowledgeBytes();
    KnowledgeBase back;
    try {
        back.LoadKnowledgeBytes(QStringLiteral("saved knows.txt"), first);
    } catch (const VestranaError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        broken("a saved knowledge base does not load");
    }
    const QByteArray second = back.SaveKnowledgeBytes();
    // Texts come back exactly; a range number written with seven digits may
    // come back as the neighbouring single, so its last digit may move.
    const QList<QByteArray> a = first.split('\n');
    const QList<QByteArray> b = second.split('\n');
    if (a.size() != b.size()) broken("a saved knowledge base changes when loaded and saved again");
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        if (i < 1 || i > KnowledgeBase::Attributes)
            broken("a saved knowledge base changes when loaded and saved again");
        const field::Field k = field::At(int(i - 1)); // the range lines follow the marker
        const float x = kb.AttributeMax[k], y = back.AttributeMax[k];
        const float u = kb.AttributeMin[k], v = back.AttributeMin[k];
        if (std::fabs(x - y) > 1e-6f * std::fabs(x) || std::fabs(u - v) > 1e-6f * std::fabs(u))
            broken("a saved knowledge base changes when loaded and saved again");
    }
}

void Formula(const uint8_t* data, size_t size)
{
    static const ScriptEngine engine;
    static const KnowledgeBase names = [] {
        KnowledgeBase kb;
        const auto& defaults = DefaultAttributeNames();
        for (field::Field k : field::AttributeFields)
            kb.AttributeNames[k] = defaults[k];
        return kb;
    }();
    const QString input =
        textfile::FromCp1251(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList parts = input.split(u'\n');
    Record listing;
    for (int i = 1; i < parts.size() && i <= Record::FieldCount; ++i)
        listing.SetRecord(field::At(i - 1), parts[i]);
    bool ok = true;
    const float v = EvaluateFormula(listing, parts[0], ok, names, engine);
    if (!ok && v != 0) broken("a failed formula gives a value");
}

void Page(const uint8_t* data, size_t size)
{
    const QString html = PageLoader::decodeHtml(bytesOf(data, size));
    const HtmlDocument page =
        HtmlDocument::parse(html, QUrl(QStringLiteral("http://127.0.0.1:8808/index.php?page=1")));
    const SiteLayout& layout = *DefaultSiteLayout();
    for (const HtmlElement& row : layout.ListingRows(page)) {
        const RecordPtr listing = layout.ReadListingRow(row);
        const QUrl link = layout.DetailLink(row);
        if (!link.isEmpty() && link.scheme() != QLatin1String("http") &&
            link.scheme() != QLatin1String("https"))
            broken("a detail link leads elsewhere than http or https");
        for (field::Field i : field::AllFields)
            if (!text::IsFileSafe(listing->Field(i))) broken("a cell text the database file cannot carry");
    }
    Record detail;
    layout.ReadDetailPage(page, detail);
    for (field::Field i : field::AllFields)
        if (!text::IsFileSafe(detail.Field(i))) broken("a detail text the database file cannot carry");
}

} // namespace fuzz
