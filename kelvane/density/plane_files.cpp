#include "kelvane/density/plane_files.hpp"

#include <cstring>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "routines/lastch.hpp"
#include "textio/textio.hpp"

namespace kelvane {

namespace {

constexpr const char* suffix[4] = {"", "_rho", "_eng", "_esq"};

}  // namespace

std::string plane_file_name(int ithe)
{
    // Written into a blank 30-character buffer and cut after its last
    // non-blank character.
    char buffer[30];
    std::memset(buffer, ' ', sizeof buffer);
    std::string text;
    if (ithe <= 9) {
        text = "rho.den00";
        textio::put_i(text, ithe, 1);
    } else if (ithe <= 99) {
        text = "rho.den0";
        textio::put_i(text, ithe, 2);
    } else {
        text = "rho.den";
        textio::put_i(text, ithe, 3);
    }
    std::memcpy(buffer, text.data(), text.size());
    return std::string(buffer, static_cast<std::size_t>(routines::lastch(buffer, 30)));
}

std::vector<std::string> plane_file_names(int ithe)
{
    const std::string base = plane_file_name(ithe);
    std::vector<std::string> names;
    for (const char* s : suffix) names.push_back(base + s);
    return names;
}

std::string plane_header(const run_args& args)
{
    std::string h = "# T=";
    textio::put_f(h, args.temp, 10, 5);
    h += " NSLICE=";
    textio::put_i(h, args.nslice, 5);
    h += " IODEVN=";
    textio::put_i(h, args.iodevn, 5);
    h += "\n# the  phi  chi       rho            engrot\n";
    return h;
}

void size_plane_records(std::string (&buffers)[4])
{
    buffers[0].resize(static_cast<std::size_t>(plane_cells) * combined_record_width);
    for (int k = 1; k < 4; ++k) buffers[k].resize(static_cast<std::size_t>(plane_cells) * single_record_width);
}

void format_plane_rows(int ithe, int first_row, int last_row, std::span<const std::int32_t> source,
                       std::string_view point_text, std::string (&buffers)[4])
{
    // I5 of every grid index, once.
    static const std::string index_text = [] {
        std::string t;
        for (int i = 0; i < plane_side; ++i) textio::put_i(t, i, 5);
        return t;
    }();
    std::string ithe_text;
    textio::put_i(ithe_text, ithe, 5);
    for (int p = first_row; p <= last_row; ++p)
        for (int c = 0; c < plane_side; ++c) {
            const std::size_t cell = static_cast<std::size_t>(p * plane_side + c);
            const char* t = point_text.data() + static_cast<std::size_t>(source[cell]) * point_text_width;
            char* all = buffers[0].data() + cell * combined_record_width;
            std::memcpy(all, ithe_text.data(), 5);
            std::memcpy(all + 5, index_text.data() + 5 * p, 5);
            std::memcpy(all + 10, index_text.data() + 5 * c, 5);
            for (int v = 0; v < 3; ++v) {
                all[15 + v * (value_text_width + 1)] = ' ';
                std::memcpy(all + 16 + v * (value_text_width + 1), t + v * value_text_width, value_text_width);
                char* one = buffers[1 + v].data() + cell * single_record_width;
                std::memcpy(one, t + v * value_text_width, value_text_width);
                one[value_text_width] = '\n';
            }
            all[combined_record_width - 1] = '\n';
        }
}

}  // namespace kelvane
