// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>

class KnowledgeBase;
class Record;
class ScriptEngine;

// Evaluates a formula against one listing: every attribute name is replaced by
// the listing's field text, then the text is evaluated. On any failure `ok` is
// false and the result 0; `error`, when given, then receives the reason.
// `readsClock`, when given, becomes true if the formula read the engine's clock.
float EvaluateFormula(const Record& listing, const QString& formula, bool& ok, const KnowledgeBase& kb,
                      const ScriptEngine& engine, QString* error = nullptr, bool* readsClock = nullptr);
