// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// One pass over the text: the parser evaluates as it reads, taking tokens
// straight from the text. Binary operators go through a stack of waiting left
// operands; only parentheses and calls recurse. Nothing is allocated for
// numbers or operators; only string values own memory.

using namespace script;

namespace {

// ---- Reading and evaluating ---------------------------------------------------------

enum class Tok : std::uint8_t {
    End,
    Number,
    String,
    Name,
    LParen,
    RParen,
    Comma,
    Imp,
    Eqv,
    Xor,
    Or,
    And,
    Not,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Is,
    Amp,
    Plus,
    Minus,
    Mod,
    IntDiv,
    Mul,
    Div,
    Pow,
    True,
    False,
    Empty,
    Null,
    Nothing,
};

// Binding levels, loosest first; 0 is not a binary operator.
enum Level : int {
    LImp = 1,
    LEqv,
    LXor,
    LOr,
    LAnd,
    LNot,
    LCompare,
    LConcat,
    LAdd,
    LMod,
    LIntDiv,
    LMul,
    LPow,
};

int binaryLevel(Tok t)
{
    switch (t) {
    case Tok::Imp:
        return LImp;
    case Tok::Eqv:
        return LEqv;
    case Tok::Xor:
        return LXor;
    case Tok::Or:
        return LOr;
    case Tok::And:
        return LAnd;
    case Tok::Eq:
    case Tok::Ne:
    case Tok::Lt:
    case Tok::Gt:
    case Tok::Le:
    case Tok::Ge:
    case Tok::Is:
        return LCompare;
    case Tok::Amp:
        return LConcat;
    case Tok::Plus:
    case Tok::Minus:
        return LAdd;
    case Tok::Mod:
        return LMod;
    case Tok::IntDiv:
        return LIntDiv;
    case Tok::Mul:
    case Tok::Div:
        return LMul;
    case Tok::Pow:
        return LPow;
    default:
        return 0;
    }
}

Tok keyword(const char16_t* p, qsizetype len)
{
    char b[8];
    if (len < 2 || !lowerAscii(p, len, b, sizeof b)) return Tok::Name;
    const std::string_view w(b, static_cast<size_t>(len));
    struct Entry
    {
        std::string_view word;
        Tok tok;
    };
    static constexpr Entry kWords[] = {
        {"mod", Tok::Mod},         {"not", Tok::Not},     {"and", Tok::And},     {"or", Tok::Or},
        {"xor", Tok::Xor},         {"eqv", Tok::Eqv},     {"imp", Tok::Imp},     {"is", Tok::Is},
        {"true", Tok::True},       {"false", Tok::False}, {"empty", Tok::Empty}, {"null", Tok::Null},
        {"nothing", Tok::Nothing},
    };
    for (const Entry& e : kWords)
        if (e.word == w) return e.tok;
    return Tok::Name;
}

bool isNameStart(char16_t c)
{
    return ((c | 0x20) >= u'a' && (c | 0x20) <= u'z') || (c >= 0x80 && QChar(c).isLetter());
}

bool isNamePart(char16_t c)
{
    return isNameStart(c) || isDigit(c) || c == u'_' || (c >= 0x80 && QChar(c).isLetterOrNumber());
}

// Reads one expression and, when evaluate is set, computes it; without it the
// parser only checks the syntax.
class Parser
{
public:
    Parser(QStringView text, bool evaluate, const Context& ctx)
        : m_p(text.utf16()), m_n(text.size()), m_eval(evaluate), m_ctx(ctx)
    {
    }
    ~Parser()
    {
        while (m_pendingSize > 0)
            popPending();
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Without evaluating, still refuses names that are no constant or function.
    void checkNames() { m_checkNames = true; }
    // Where the last failure began: a name's start, or the token being read.
    qsizetype failedAt() const { return m_failedAt >= 0 ? m_failedAt : m_start; }

    ScriptValue run()
    {
        next();
        ScriptValue v = expression();
        if (m_tok != Tok::End) fail(ExpectedEnd);
        return v;
    }

private:
    // Counts one level of nesting for as long as it lives.
    class Nest
    {
    public:
        explicit Nest(int& depth) : m_depth(depth)
        {
            if (++m_depth > ScriptEngine::MaxDepth) fail(OutOfStack);
        }
        ~Nest() { --m_depth; }
        Nest(const Nest&) = delete;
        Nest& operator=(const Nest&) = delete;

    private:
        int& m_depth;
    };

    Q_NEVER_INLINE void next();
    void lexNumber();
    void lexString();
    void lexDate();
    // The recursive parts stay out of line to keep the frames of deep nesting small.
    ScriptValue expression();
    Q_NEVER_INLINE ScriptValue operand();
    Q_NEVER_INLINE ScriptValue primary();
    Q_NEVER_INLINE ScriptValue parenthesized();
    Q_NEVER_INLINE ScriptValue literal() const;
    ScriptValue stringLiteral() const;
    Q_NEVER_INLINE ScriptValue call(QStringView name);
    Q_NEVER_INLINE ScriptValue indexed(ScriptValue v);
    [[noreturn]] void undefined(QStringView name) const;
    void checkName(QStringView name, const FnInfo* f, bool called, int count);
    [[noreturn]] static void refused(QStringView name);
    Q_NEVER_INLINE ScriptValue apply(Tok op, const ScriptValue& a, const ScriptValue& b) const;

    const char16_t* m_p;
    qsizetype m_n;
    qsizetype m_pos = 0;
    bool m_eval;
    bool m_checkNames = false;
    qsizetype m_failedAt = -1;
    const Context& m_ctx;
    int m_depth = 0;

    // The current token.
    Tok m_tok = Tok::End;
    qsizetype m_start = 0;  // its text: m_p[m_start, m_pos)
    bool m_escapes = false; // a string literal holds doubled quotes
    ScriptValue m_number;

    // Left operands waiting for their right side. Each expression() uses the
    // entries above those of the expression around it, and there at most one
    // per binding level, as the levels strictly rise. Kept here rather than in
    // the frames so that deep nesting costs little stack.
    struct Pending
    {
        ScriptValue value;
        Tok op;
        std::uint8_t level;
        std::int32_t nots; // for Not: how many in a row
    };
    union Slot {
        Slot() {}
        ~Slot() {}
        Pending entry;
    };
    // A formula waits on a handful of operands at a time: the first slots sit
    // in the parser, and only an expression that needs more moves them to one
    // heap block of the full capacity. The parser lives on the stack of every
    // evaluation, so it stays about a kilobyte instead of the whole capacity.
    static constexpr int kInlinePending = 16;
    static constexpr int kPendingCapacity = 1024;
    Slot m_inlinePending[kInlinePending];
    std::unique_ptr<Slot[]> m_spilledPending;
    Slot* m_pending = m_inlinePending;
    int m_pendingRoom = kInlinePending;
    int m_pendingSize = 0;

    Pending& topPending() { return m_pending[m_pendingSize - 1].entry; }
    void pushPending(ScriptValue&& v, Tok op, int level)
    {
        if (m_pendingSize == m_pendingRoom) {
            if (m_pendingRoom == kPendingCapacity) fail(OutOfStack);
            spillPending();
        }
        new (&m_pending[m_pendingSize].entry) Pending{std::move(v), op, static_cast<std::uint8_t>(level), 0};
        ++m_pendingSize;
    }
    void popPending() { m_pending[--m_pendingSize].entry.~Pending(); }
    Q_NEVER_INLINE void spillPending()
    {
        auto heap = std::make_unique<Slot[]>(kPendingCapacity);
        for (int i = 0; i < m_pendingSize; ++i) {
            new (&heap[i].entry) Pending(std::move(m_pending[i].entry));
            m_pending[i].entry.~Pending();
        }
        m_spilledPending = std::move(heap);
        m_pending = m_spilledPending.get();
        m_pendingRoom = kPendingCapacity;
    }
};

void Parser::next()
{
    while (m_pos < m_n && isBlank(m_p[m_pos]))
        ++m_pos;
    m_start = m_pos;
    if (m_pos >= m_n) {
        m_tok = Tok::End;
        return;
    }
    const char16_t c = m_p[m_pos];
    const char16_t c1 = m_pos + 1 < m_n ? m_p[m_pos + 1] : u'\0';
    if (isDigit(c) || (c == u'.' && isDigit(c1))) {
        lexNumber();
        return;
    }
    if (c == u'"') {
        lexString();
        return;
    }
    if (c == u'#') {
        lexDate();
        return;
    }
    if (isNameStart(c)) {
        ++m_pos;
        while (m_pos < m_n && isNamePart(m_p[m_pos]))
            ++m_pos;
        m_tok = keyword(m_p + m_start, m_pos - m_start);
        return;
    }
    ++m_pos;
    switch (c) {
    case u'(':
        m_tok = Tok::LParen;
        return;
    case u')':
        m_tok = Tok::RParen;
        return;
    case u',':
        m_tok = Tok::Comma;
        return;
    case u'+':
        m_tok = Tok::Plus;
        return;
    case u'-':
        m_tok = Tok::Minus;
        return;
    case u'*':
        m_tok = Tok::Mul;
        return;
    case u'/':
        m_tok = Tok::Div;
        return;
    case u'\\':
        m_tok = Tok::IntDiv;
        return;
    case u'^':
        m_tok = Tok::Pow;
        return;
    case u'=':
        // "=>" and "=<" are old spellings of ">=" and "<=".
        if (c1 == u'>' || c1 == u'<') {
            ++m_pos;
            m_tok = c1 == u'>' ? Tok::Ge : Tok::Le;
        } else {
            m_tok = Tok::Eq;
        }
        return;
    case u'<':
        if (c1 == u'>' || c1 == u'=') {
            ++m_pos;
            m_tok = c1 == u'>' ? Tok::Ne : Tok::Le;
        } else {
            m_tok = Tok::Lt;
        }
        return;
    case u'>':
        if (c1 == u'=' || c1 == u'<') {
            ++m_pos;
            m_tok = c1 == u'=' ? Tok::Ge : Tok::Ne;
        } else {
            m_tok = Tok::Gt;
        }
        return;
    case u'&': {
        // &H and &O start a number only when a digit of that base follows;
        // otherwise "&" joins texts.
        const int base = (c1 | 0x20) == u'h' ? 16 : (c1 | 0x20) == u'o' ? 8 : 0;
        if (base != 0) {
            qsizetype i = m_pos + 1;
            Radix r;
            if (scanRadix(m_p, m_n, i, base, r)) {
                if (r.tooBig) fail(InvalidNumber);
                m_pos = i;
                m_tok = Tok::Number;
                m_number = r.isLong ? ScriptValue::fromLong(r.value)
                                    : ScriptValue::fromInteger(static_cast<std::int16_t>(r.value));
                return;
            }
        }
        m_tok = Tok::Amp;
        return;
    }
    case u'.':
        fail(SyntaxError);
    default:
        fail(InvalidCharacter);
    }
}

void Parser::lexNumber()
{
    Decimal d;
    (void)scanDecimal(m_p, m_n, m_pos, d); // the lexer calls it only at a digit
    if (d.tooBig) fail(InvalidNumber);
    m_tok = Tok::Number;
    if (d.whole && d.value <= 32767)
        m_number = ScriptValue::fromInteger(static_cast<std::int16_t>(d.value));
    else if (d.whole && d.value <= 2147483647.0)
        m_number = ScriptValue::fromLong(static_cast<std::int32_t>(d.value));
    else
        m_number = ScriptValue::fromDouble(d.value);
}

void Parser::lexString()
{
    m_escapes = false;
    for (++m_pos; m_pos < m_n; ++m_pos) {
        if (m_p[m_pos] != u'"') continue;
        if (m_pos + 1 < m_n && m_p[m_pos + 1] == u'"') {
            m_escapes = true;
            ++m_pos;
            continue;
        }
        ++m_pos;
        m_tok = Tok::String;
        return;
    }
    fail(UnterminatedString);
}

void Parser::lexDate()
{
    const qsizetype begin = ++m_pos;
    while (m_pos < m_n && m_p[m_pos] != u'#')
        ++m_pos;
    if (m_pos >= m_n) fail(SyntaxError, u"не закрыта дата #…#");
    double serial = 0;
    if (!readDateText(QStringView(m_p + begin, m_pos - begin), serial))
        fail(SyntaxError, u"недопустимая дата #…#");
    ++m_pos;
    m_tok = Tok::Number;
    m_number = ScriptValue::fromDate(serial);
}

ScriptValue Parser::stringLiteral() const
{
    const QStringView body(m_p + m_start + 1, m_pos - m_start - 2);
    if (!m_escapes) return ScriptValue::fromString(body.toString());
    QString s;
    s.reserve(body.size());
    for (qsizetype k = 0; k < body.size(); ++k) {
        s += body[k];
        if (body[k] == u'"') ++k; // the second of a doubled quote
    }
    return ScriptValue::fromString(std::move(s));
}

ScriptValue Parser::expression()
{
    // Operator precedence with an explicit stack of waiting left operands:
    // nesting costs one frame per parenthesis, not one per operator.
    const int base = m_pendingSize;
    for (;;) {
        // Not takes everything down to the comparisons (Not 1 = 2 is Not (1 = 2)),
        // so it may stand only where such an expression may.
        while (m_tok == Tok::Not) {
            if (m_pendingSize > base && topPending().level > LNot) fail(SyntaxError);
            if (m_pendingSize == base || topPending().op != Tok::Not)
                pushPending(ScriptValue(), Tok::Not, LNot);
            ++topPending().nots;
            next();
        }
        ScriptValue v = operand();
        const Tok op = m_tok;
        const int level = binaryLevel(op);
        // Left-associative: an operator closes every waiting one of its level or
        // tighter; the end of the expression closes them all.
        while (m_pendingSize > base && topPending().level >= level) {
            Pending& p = topPending();
            if (m_eval) {
                if (p.op == Tok::Not)
                    for (std::int32_t k = 0; k < p.nots; ++k)
                        v = logicalNot(v);
                else
                    v = apply(p.op, p.value, v);
            }
            popPending();
        }
        if (level == 0) return v;
        pushPending(std::move(v), op, level);
        next();
    }
}

ScriptValue Parser::operand()
{
    // Signs bind tighter than ^ (-2^2 is 4) and stack (--1 is 1); "+" changes nothing.
    qsizetype minus = 0;
    while (m_tok == Tok::Plus || m_tok == Tok::Minus) {
        if (m_tok == Tok::Minus) ++minus;
        next();
    }
    ScriptValue v = primary();
    if (m_eval)
        for (; minus > 0; --minus)
            v = negate(v);
    return v;
}

ScriptValue Parser::primary()
{
    if (m_tok == Tok::LParen) return parenthesized();
    if (m_tok == Tok::Name) {
        const QStringView name(m_p + m_start, m_pos - m_start);
        next();
        return call(name);
    }
    ScriptValue v = literal();
    next();
    return v;
}

ScriptValue Parser::parenthesized()
{
    Nest nest(m_depth);
    next();
    ScriptValue v = expression();
    if (m_tok != Tok::RParen) fail(ExpectedParen);
    next();
    return v;
}

ScriptValue Parser::literal() const
{
    switch (m_tok) {
    case Tok::Number:
        return m_number;
    case Tok::String:
        return m_eval ? stringLiteral() : ScriptValue();
    case Tok::True:
        return ScriptValue::fromBool(true);
    case Tok::False:
        return ScriptValue::fromBool(false);
    case Tok::Empty:
        return {};
    case Tok::Null:
        return ScriptValue::null();
    case Tok::Nothing:
        if (m_eval) fail(ObjectNotSet); // no objects here
        return {};
    default:
        fail(SyntaxError);
    }
}

ScriptValue Parser::call(QStringView name)
{
    const FnInfo* f = findFunction(name);
    if (m_tok != Tok::LParen) {
        if (!m_eval) {
            if (m_checkNames) checkName(name, f, false, 0);
            return {};
        }
        ScriptValue constant;
        if (findConstant(name, constant)) return constant;
        if (isRefused(name)) refused(name);
        // Date, Now and the like are called without parentheses.
        if (f && f->minArgs == 0) return callFunction(*f, Args{nullptr, 0, m_ctx});
        if (f) fail(WrongArgumentCount, name);
        undefined(name);
    }
    ScriptValue args[kMaxArgs];
    std::vector<ScriptValue> many; // all of them once there are more than kMaxArgs
    int count = 0;
    {
        Nest nest(m_depth);
        next();
        if (m_tok != Tok::RParen) {
            for (;;) {
                // An argument left out (f(1, , 3)) counts as not given.
                ScriptValue v = m_tok == Tok::Comma || m_tok == Tok::RParen ? ScriptValue() : expression();
                if (count < kMaxArgs) {
                    args[count] = std::move(v);
                } else {
                    if (many.empty())
                        many.assign(std::make_move_iterator(args), std::make_move_iterator(args + kMaxArgs));
                    many.push_back(std::move(v));
                }
                ++count;
                if (m_tok != Tok::Comma) break;
                next();
            }
        }
        if (m_tok != Tok::RParen) fail(ExpectedParen);
        next();
    }
    ScriptValue result;
    if (!m_eval && m_checkNames) checkName(name, f, true, count);
    if (m_eval) {
        if (!f) {
            if (isRefused(name)) refused(name);
            undefined(name);
        }
        if (count < f->minArgs || count > f->maxArgs) fail(WrongArgumentCount, name);
        spendWork(1);
        result = callFunction(*f, Args{many.empty() ? args : many.data(), count, m_ctx});
    }
    // A call's result may be indexed at once: Split(s, ",")(0).
    while (m_tok == Tok::LParen)
        result = indexed(std::move(result));
    return result;
}

ScriptValue Parser::indexed(ScriptValue v)
{
    ScriptValue index;
    int count = 0;
    {
        Nest nest(m_depth);
        next();
        if (m_tok != Tok::RParen) {
            for (;;) {
                ScriptValue e = expression();
                if (count == 0) index = std::move(e);
                ++count;
                if (m_tok != Tok::Comma) break;
                next();
            }
        }
        if (m_tok != Tok::RParen) fail(ExpectedParen);
        next();
    }
    if (!m_eval) return {};
    if (!v.isArray()) fail(TypeMismatch);
    if (count != 1) fail(SubscriptOutOfRange);
    const std::vector<ScriptValue>& items = v.arrayValue();
    if (index.isNull()) fail(InvalidNull);
    const std::int32_t k = argLong(index);
    if (k < 0 || k >= static_cast<qsizetype>(items.size())) fail(SubscriptOutOfRange);
    return items[static_cast<size_t>(k)];
}

void Parser::checkName(QStringView name, const FnInfo* f, bool called, int count)
{
    if (!called) {
        ScriptValue constant;
        if (findConstant(name, constant) || (f && f->minArgs == 0)) return;
    } else if (f && count >= f->minArgs && count <= f->maxArgs) {
        return;
    }
    m_failedAt = name.utf16() - m_p;
    if (f) fail(WrongArgumentCount, name);
    if (isRefused(name)) refused(name);
    undefined(name);
}

void Parser::refused(QStringView name)
{
    fail(PermissionDenied,
         QStringLiteral("функция ") + name.toString() + QStringLiteral(" не разрешена в формулах"));
}

void Parser::undefined(QStringView name) const
{
    const QString near = closestName(name, m_ctx.names);
    if (near.isEmpty()) fail(Undefined, name);
    QString detail = name.toString();
    detail += QStringLiteral(". Возможно, имелось в виду «") + near + QStringLiteral("»?");
    fail(Undefined, detail);
}

ScriptValue Parser::apply(Tok op, const ScriptValue& a, const ScriptValue& b) const
{
    spendWork(1);
    switch (op) {
    case Tok::Plus:
        return arithmetic(Arith::Add, a, b);
    case Tok::Minus:
        return arithmetic(Arith::Sub, a, b);
    case Tok::Mul:
        return arithmetic(Arith::Mul, a, b);
    case Tok::Div:
        return divide(a, b);
    case Tok::IntDiv:
        return integerDivide(a, b, false);
    case Tok::Mod:
        return integerDivide(a, b, true);
    case Tok::Pow:
        return power(a, b);
    case Tok::Amp:
        return concatenate(a, b);
    case Tok::Eq:
        return compare(Compare::Eq, a, b);
    case Tok::Ne:
        return compare(Compare::Ne, a, b);
    case Tok::Lt:
        return compare(Compare::Lt, a, b);
    case Tok::Gt:
        return compare(Compare::Gt, a, b);
    case Tok::Le:
        return compare(Compare::Le, a, b);
    case Tok::Ge:
        return compare(Compare::Ge, a, b);
    case Tok::Is:
        fail(ObjectRequired); // no objects here
    case Tok::And:
        return logical(Logic::And, a, b);
    case Tok::Or:
        return logical(Logic::Or, a, b);
    case Tok::Xor:
        return logical(Logic::Xor, a, b);
    case Tok::Eqv:
        return logical(Logic::Eqv, a, b);
    case Tok::Imp:
        return logical(Logic::Imp, a, b);
    default:
        fail(SyntaxError);
    }
}

} // namespace

// ---- ScriptEngine ------------------------------------------------------------------

ScriptEngine::ScriptEngine()
{
    ReadClock();
}

void ScriptEngine::ReadClock()
{
    const QDateTime now = m_fixed.isValid() ? m_fixed : QDateTime::currentDateTime();
    const QDate d = now.date();
    double serial = 0;
    if (!serialOf(d.year(), d.month(), d.day(), serial)) serial = 0;
    m_now = serial + (now.time().msecsSinceStartOfDay() / 1000.0) / 86400.0;
}

void ScriptEngine::SetClock(const QDateTime& fixed)
{
    m_fixed = fixed;
    ReadClock();
}

QDateTime ScriptEngine::Clock() const
{
    const DateParts p = partsOf(m_now);
    const double frac = m_now - std::floor(m_now);
    return QDateTime(QDate(p.year, p.month, p.day), QTime::fromMSecsSinceStartOfDay(static_cast<int>(
                                                        std::llround(frac * 86400.0 * 1000.0))));
}

ScriptValue ScriptEngine::Eval(QStringView expression) const
{
    return Eval(expression, {});
}

QString ScriptEngine::TooLongText()
{
    return QStringLiteral("Слишком длинное выражение");
}

ScriptValue ScriptEngine::Eval(QStringView expression, std::span<const QString> names, bool* readsClock) const
{
    static_assert(TooLongError == SyntaxError);
    if (expression.size() > MaxLength) throw ScriptError(TooLongError, TooLongText());
    const Context ctx{m_now, names, readsClock};
    spent() = {};
    try {
        return Parser(expression, true, ctx).run();
    } catch (const ScriptError& e) {
        // A later syntax error wins over an evaluation error met on the way.
        if (!isReadingError(e.number())) Parser(expression, false, ctx).run();
        throw;
    }
}

float ScriptEngine::EvalSingle(QStringView expression) const
{
    return singleOf(Eval(expression));
}

float ScriptEngine::EvalSingle(QStringView expression, std::span<const QString> names, bool* readsClock) const
{
    return singleOf(Eval(expression, names, readsClock));
}

namespace {

// What the editor shows for a fault found by Check.
ScriptProblem problemOf(const ScriptError& e, qsizetype at, QStringView expression)
{
    ScriptProblem p{e.number(), std::min(at, expression.size()), isReadingError(e.number()), {}};
    // What the message says after its first colon, if anything.
    const qsizetype colon = e.message().indexOf(u':');
    const QString detail = colon < 0 ? QString() : e.message().mid(colon + 2);
    switch (e.number()) {
    case SyntaxError:
        p.reason = detail.isEmpty() ? QStringLiteral("ожидалось число или имя") : detail;
        break;
    case ExpectedParen:
        p.reason = QStringLiteral("ожидалась закрывающая скобка «)»");
        break;
    case ExpectedEnd:
        p.reason = QStringLiteral("ожидался знак действия или конец выражения");
        break;
    case InvalidNumber:
        p.reason = QStringLiteral("недопустимое число");
        break;
    case InvalidCharacter:
        p.reason = QStringLiteral("недопустимый знак «%1»").arg(expression.at(p.position));
        break;
    case UnterminatedString:
        p.reason = QStringLiteral("не закрыта кавычка");
        break;
    case OutOfStack:
        p.reason = QStringLiteral("слишком глубокая вложенность скобок");
        break;
    case Undefined: {
        // "Name" or "Name. Возможно, имелось в виду «…»?": a name holds no dot.
        const qsizetype dot = detail.indexOf(u'.');
        const QString name = dot < 0 ? detail : detail.left(dot);
        p.reason = QStringLiteral("неизвестное имя «") + name + u'»' + detail.mid(name.size());
        break;
    }
    case PermissionDenied:
        p.reason = detail;
        break;
    case WrongArgumentCount:
        p.reason = QStringLiteral("неверное число аргументов функции ") + detail;
        break;
    default:
        p.reason = e.message();
        break;
    }
    return p;
}

} // namespace

std::optional<ScriptProblem> ScriptEngine::Check(QStringView expression, std::span<const QString> names) const
{
    if (expression.size() > MaxLength)
        return ScriptProblem{TooLongError, MaxLength, true, QStringLiteral("слишком длинное выражение")};
    const Context ctx{m_now, names, nullptr};
    // The writing first, the names after: a syntax error wins, as when evaluating.
    for (bool namesToo : {false, true}) {
        Parser parser(expression, false, ctx);
        if (namesToo) parser.checkNames();
        try {
            parser.run();
            continue;
        } catch (const ScriptError& e) {
            return problemOf(e, parser.failedAt(), expression);
        }
    }
    return std::nullopt;
}
