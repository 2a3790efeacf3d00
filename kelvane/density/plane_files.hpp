// The four files of a theta plane: rho.denNNN (combined table) and its "_rho",
// "_eng" and "_esq" companions, written as one set of files that replaces
// older files whole and together (replacement/file_set.hpp), "_esq" last:
// "rho.denNNN_esq exists" means "plane NNN is complete".  What stands under
// the four names is checked before any work is spent on the plane.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/run/run_args.hpp"

namespace kelvane {

// rho.den000 .. rho.den180 for 0 <= ithe <= 180.
std::string plane_file_name(int ithe);

// Characters of the three values of one evaluated point, each in "(E15.8)".
inline constexpr int value_text_width = 15;
inline constexpr int point_text_width = 3 * value_text_width;

// The four names of plane ithe, in the order they are placed: the combined
// table, then "_rho", "_eng" and "_esq".  A replacement::file_set made of
// them checks that they can take the plane (a directory, a file that is not
// a regular file, one the user may not write or replace, or two names of one
// file, is a run_failure that names it) and creates the temporary files,
// all before any work is spent on the plane; place() closes them and puts
// them in place, "_esq" last, or leaves the older files of this plane as
// they were.
std::vector<std::string> plane_file_names(int ithe);

// The two header lines of the combined file of plane 0.
std::string plane_header(const run_args& args);

// Every record has the same width: "(3(I5),3(1x,E15.8))" gives 63
// characters and "(E15.8)" 15, each with its line end.
inline constexpr std::size_t combined_record_width = 64;
inline constexpr std::size_t single_record_width = 16;

// The records of a complete plane into the four buffers, in pieces that may
// be filled in any order or at once: the buffers sized for a plane, then the
// records of rows first_row..last_row, ichi fastest; the text of cell
// (iphi, ichi) is that of the evaluated point source[iphi * 361 + ichi],
// whose three values stand at point_text[ordinal * point_text_width].
void size_plane_records(std::string (&buffers)[4]);
void format_plane_rows(int ithe, int first_row, int last_row, std::span<const std::int32_t> source,
                       std::string_view point_text, std::string (&buffers)[4]);

}  // namespace kelvane
