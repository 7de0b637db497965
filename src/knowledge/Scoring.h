#pragma once

class Program;
class QString;
class Record;

// The pieces of a listing's match score.
namespace scoring {

// How close the listing's number v comes to the wish's number a over the range
// lo..hi: 100 when equal, falling by 100 / |hi - lo| per unit of difference and
// never clamped. Each step is rounded to single precision; the product and the
// quotient are computed in extended precision. Raises the overflow error when a
// step leaves the single range.
float Closeness(float a, float v, float lo, float hi);

// Attribute k of the listing at position i (1-based) of the program's collection,
// turned into a number by the attribute's kind. A formula that fails gives 0.
// Raises the out-of-range error for a bad k or i, and the overflow error for a
// number beyond single precision.
float FormalizedValue(Program& program, int k, int i);

// Where an attribute's number comes from, by its kind.
enum class Source { Zero, ByValue, ByFormula, Number };
Source SourceOf(const QString& kind);
// FormalizedValue of attribute k for a listing at hand, its kind already
// looked at (a long run does that once, not per listing).
float FormalizedValueOf(Source source, Program& program, const Record& r, int k);

// Empties FoundList.
void ClearFoundList(Program& program);

} // namespace scoring
