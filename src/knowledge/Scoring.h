#pragma once

enum class Kind;
class KnowledgeBase;
class QString;
class Record;
class ScriptEngine;

// The pieces of a listing's match score.
namespace scoring {

// How close the listing's number v comes to the wish's number a over the range
// lo..hi: 100 when equal, falling by 100 / |hi - lo| per unit of difference and
// never clamped. Each step is rounded to single precision; the product and the
// quotient are computed in extended precision. Raises the overflow error when a
// step leaves the single range.
float Closeness(float a, float v, float lo, float hi);

// Where an attribute's number comes from, by its kind.
enum class Source { Zero, ByValue, ByFormula, Number };
Source SourceOf(Kind kind);
// Attribute k of a listing turned into a number by the attribute's kind, its
// kind already looked at (a long run does that once, not per listing). A
// formula that fails gives 0; a number beyond single precision raises the
// overflow error.
float FormalizedValueOf(Source source, const KnowledgeBase& kb, ScriptEngine& engine, const Record& r, int k);

} // namespace scoring
