// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/Kinds.h"

namespace {

const std::array<QString, kinds::Count>& texts()
{
    static const std::array<QString, kinds::Count> all = [] {
        std::array<QString, kinds::Count> out;
        for (const kinds::Traits& t : kinds::Table)
            out[static_cast<std::size_t>(t.kind)] = QString::fromUtf16(t.text);
        return out;
    }();
    return all;
}

} // namespace

Kind kinds::Parse(const QString& text)
{
    for (Kind kind : Named)
        if (text == TextOf(kind)) return kind;
    return Kind::Other;
}

const QString& kinds::TextOf(Kind kind)
{
    return texts()[static_cast<std::size_t>(kind)];
}
