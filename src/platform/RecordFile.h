#pragma once
// Records of comma-separated fields, one a line, CR LF line ends: text in double quotes,
// numbers bare. Reading takes quoted or bare fields; writing quotes exactly what it is given.

#include <string>
#include <string_view>
#include <vector>

namespace velgate {

/// The lines of a file; CR LF, LF and CR each end a line. A last line without an end counts.
std::vector<std::string_view> SplitRecordLines(std::string_view bytes);

/// The fields of one line. Blanks before a field are skipped; a quoted field ends at its closing
/// quote (commas inside belong to it, anything up to the next comma after it is dropped); a bare
/// field ends at the comma or the end of the line.
std::vector<std::string> ParseRecordFields(std::string_view line);

/// Text between double quotes, exactly as held (a quote inside is not escaped).
std::string Quoted(std::string_view text);

}  // namespace velgate
