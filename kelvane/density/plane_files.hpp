// The four files of a theta plane: rho.denNNN (combined table) and its "_rho",
// "_eng" and "_esq" companions.  Each is written under a temporary name in the
// working directory and renamed into place once complete and closed, so a
// plane's name never stands for a truncated file and an older file keeps its
// content until its replacement is whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kelvane/levels/run_args.hpp"

namespace kelvane {

// rho.den000 .. rho.den180 for 0 <= ithe <= 180.
std::string plane_file_name(int ithe);

// Characters of the three values of one evaluated point, each in "(E15.8)".
inline constexpr int value_text_width = 15;
inline constexpr int point_text_width = 3 * value_text_width;

// The four files of one plane while they are written; kind 0 is the combined
// table, 1..3 the "_rho", "_eng" and "_esq" tables.
struct plane_files {
    int fd[4] = {-1, -1, -1, -1};
    std::string name[4];
    std::string temp[4];
};

// Opens the temporary files (a failure is a run_failure).
void open_plane_files(plane_files& files, int ithe);

// The two header lines of the combined file of plane 0.
std::string plane_header(const run_args& args);
void write_plane_text(plane_files& files, int kind, std::string_view text);

// The records of a complete plane into the four buffers (cleared first):
// ichi fastest; the text of cell (iphi, ichi) is that of the evaluated point
// source[iphi * 361 + ichi], whose three values stand at
// point_text[ordinal * point_text_width].
void format_plane_records(int ithe, std::span<const std::int32_t> source, std::string_view point_text,
                          std::string (&buffers)[4]);

// Closes "_esq", "_eng", "_rho", combined in this order and renames each into
// place; a failure is a run_failure, with the earlier planes intact.
void close_plane_files(plane_files& files);

}  // namespace kelvane
