// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/Formula.h"

#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "script/ScriptEngine.h"
#include "store/Record.h"

float EvaluateFormula(const Record& listing, const QString& formula, bool& ok, const KnowledgeBase& kb,
                      const ScriptEngine& engine, QString* error, bool* readsClock)
{
    ok = true;
    try {
        // Names are replaced in index order on the growing text: a field inserted
        // for one attribute is itself searched for the names after it.
        // A listing whose fields hold the names of later attributes can grow the
        // text by a power of the attribute count, so the length is checked
        // before every replacement is made, not once at the end.
        QString s = formula;
        if (s.size() > ScriptEngine::MaxLength)
            throw ScriptError(ScriptEngine::TooLongError, ScriptEngine::TooLongText());
        for (field::Field f : field::AttributeFields) {
            const QString& name = kb.AttributeNames[f];
            if (name.isEmpty()) continue;
            const QStringView field = listing.Field(f);
            // The text holds at most size / name occurrences; only when even
            // that many could pass the limit are they counted exactly, so an
            // ordinary formula pays no second scan on the search's hot path.
            const qsizetype most = s.size() / name.size();
            if (s.size() + most * (field.size() - name.size()) > ScriptEngine::MaxLength) {
                // Occurrences as replace() finds them: left to right, not overlapping.
                qsizetype count = 0;
                for (qsizetype at = s.indexOf(name); at >= 0; at = s.indexOf(name, at + name.size()))
                    ++count;
                if (s.size() + count * (field.size() - name.size()) > ScriptEngine::MaxLength)
                    throw ScriptError(ScriptEngine::TooLongError, ScriptEngine::TooLongText());
            }
            // The pointer form: no string is made of the field for a name the text lacks.
            s.replace(name.constData(), name.size(), field.constData(), field.size());
        }
        return engine.EvalSingle(s, kb.AttributeNames, readsClock);
    } catch (const VestranaError& e) {
        ok = false;
        if (error) *error = e.message();
        return 0;
    }
}
