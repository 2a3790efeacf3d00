#!/bin/bash
# Writes list_directed_cases.txt: inputs of the energy-file reader with what
# gfortran's list-directed read makes of them (list_directed_oracle.f90).
# Run by hand where gfortran is installed; the tests read only the output.
#
# Each case:  case NAME / skip S / input ESCAPED / then the oracle's lines:
# "skip ok|eof|error", "record v1 .. v10", "end eof|error".  ESCAPED is the
# input with \n, \r, \t, \f and \\ written as escapes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gfortran -O0 -o "$work/oracle" "$here/list_directed_oracle.f90"
out="$here/list_directed_cases.txt"
: > "$out"

add() {   # add NAME SKIP PRINTF-FORMAT-INPUT
    printf "$3" > "$work/in.txt"
    {
        echo "case $1"
        echo "skip $2"
        printf 'input %s\n' "$(sed -e 's/\\/\\\\/g' -e 's/\t/\\t/g' -e 's/\r/\\r/g' -e 's/\f/\\f/g' "$work/in.txt" | awk '{printf "%s%s", (NR>1 ? "\\n" : ""), $0} END {}')$( [ "$(tail -c1 "$work/in.txt" | od -An -c | tr -d ' ')" = '\n' ] && printf '\\n')"
        (cd "$work" && ./oracle "$2")
    } >> "$out"
}

# Numbers and separators
add plain 0 '1 2 3 4 5 6 7 8 9 10\n11 12 13 14 15 16 17 18 19 20\n'
add number_forms 0 '+5 -5 5. .5 1e5 1E+05 1d5 1D-5 1.25d0 -0.125E-2\n'
add fortran_e_format 0 '   0.100000000E+01  -0.250000000E+02   0.300000000E-03   0.400000000E+04   0.500000000E+00   0.600000000E+01   0.700000000E+01   0.800000000E+01   0.900000000E+01   0.100000000E+02\n'
add commas_and_tabs 0 '1,2,3,4,5\t6\t7 , 8 ,9, 10\n'
add crlf_lines 0 '1 2 3 4 5\r\n6 7 8 9 10\r\n11 12 13 14 15 16 17 18 19 20\r\n'
add no_final_line_end 0 '1 2 3 4 5 6 7 8 9 10\n11 12 13 14 15 16 17 18 19 20'
# Line structure
add record_over_lines 0 '1 2 3\n4 5 6 7\n8 9 10\n'
add blank_lines_passed_over 0 '\n   \n1 2 3 4 5\n\n\t\n6 7 8 9 10\n\n'
add rest_of_line_dropped 0 '1 2 3 4 5 6 7 8 9 10 11 12 abc\n21 22 23 24 25 26 27 28 29 30 \n'
add end_inside_record 0 '1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5\n'
add comma_then_end_inside_record 0 '1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9,\n'
# Unreadable items
add text_line 0 '1 2 3 4 5 6 7 8 9 10\nend of run\n1 2 3 4 5 6 7 8 9 10\n'
add number_glued_to_text 0 '1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 10abc\n'
add bad_item_on_second_line 0 '1 2 3 4 5 6 7 8 9 \n10x\n1 2 3 4 5 6 7 8 9 10\n'
add form_feed_line 0 '1 2 3 4 5 6 7 8 9 10\n\f\n1 2 3 4 5 6 7 8 9 10\n'
add lone_point 0 '1 2 3 4 5 6 7 8 9 10\n1 2 . 4 5 6 7 8 9 10\n'
add quoted_item 0 "1 2 3 4 5 6 7 8 9 10\n1 2 '3' 4 5 6 7 8 9 10\n"
# Empty values keep the value the column had
add empty_between_commas 0 '1,2,,4,5,6,7,8,9,10\n11,,13,,15,16,17,18,19,20\n'
add empty_after_blanks 0 '1 2 , , 5 6 7 8 9 10 11\n'
add leading_comma 0 ',2,3,4,5,6,7,8,9,10\n'
add leading_comma_after_blanks 0 '   ,2,3,4,5,6,7,8,9,10\n'
add leading_comma_after_blank_line 0 '\n,2,3,4,5,6,7,8,9,10\n'
add two_commas_after_blank_line 0 '\n,,3,4,5,6,7,8,9,10\n'
add comma_ends_line 0 '1,2,3,\n4,5,6,7,8,9,10\n'
add comma_starts_line 0 '1 2\n,3 4 5 6 7 8 9 10 11\n'
add comma_at_both_ends 0 '1 2,\n\n ,3 4 5 6 7 8 9 10\n'
add trailing_commas 0 '1 2 3 4 5 6 7 8 9 10,\n11 12 13 14 15 16 17 18 19,,\n'
# A semicolon separates values as a comma does (the runtime reads it so with a
# decimal point), except that it never is a mere separator after a line end
add semicolons_as_separators 0 '1;2;3;4;5;6;7;8;9;10\n11 ; 12 ;13; 14 15 16 17 18 19 20;\n'
add semicolon_ends_a_line 0 '1 10 -20 -10 5 0 -5 30 0 0\n2 14 -22 -8 7 0 -1 34 0 0;\n3 12 -21 -9 6 0 -3 32 0 0\n'
add semicolon_empty_values 0 '1;;3 4 5 6 7 8 9 10 11\n21;,23,;24 25 26 27 28 29 30\n'
add leading_semicolon 0 ';2 3 4 5 6 7 8 9 10\n'
add semicolon_starts_line 0 '1 2\n;3 4 5 6 7 8 9 10 11\n'
add semicolon_after_blank_line 0 '\n;2;3;4;5;6;7;8;9;10\n'
add semicolon_then_comma_on_next_line 0 '1;\n,3 4 5 6 7 8 9 10 11\n'
add semicolon_ends_items 0 '1 2 3 4 5 6 7 8 9 10\n1.5;3 inf;nan(x);-2.5d0;5 6 7 8 9 10\n'
add semicolon_after_repeat 0 '3*;4 5 6 7 8 9 10\n2*5;3*;1 2 3 4 5\n'
add semicolon_after_slash 0 '1 2 3 / ;\n1 2 3 4 5 6 7 8 9 10\n'
add semicolon_in_number 0 '1 2 3 4 5 6 7 8 9 10\n1;5 2 3 4 5 6 7 8 9\n'
add comma_line_end_comma 0 '1 2\n,\n,3 4 5 6 7 8 9 10\n'
# Repeat counts
add repeat_values 0 '3*0.5 7*2\n2*-1,4 5 6 7 8 9 10 11\n'
add repeat_empty 0 '1 2 3 4 5 6 7 8 9 10\n21 22 3*,24 25 26 27 28\n'
add repeat_empty_then_comma 0 '1 2 3 4 5 6 7 8 9 10\n21 22 3*,,25 26 27 28 29\n'
add repeat_empty_blank_comma 0 '1 2 3 4 5 6 7 8 9 10\n21 22 3* ,24 25 26 27 28\n'
add repeat_beyond_record 0 '1 2 3 4 5 6 7 8 9 3*10\n21 22 23 24 25 26 27 28 29 30\n'
add repeat_empty_last 0 '1 2 3 4 5 6 7 8 9 10\n21 22 23 24 25 26 27 28 29 3*\n'
add repeat_zero 0 '1 2 3 4 5 6 7 8 9 10\n0*5 1 2 3 4 5 6 7 8 9\n'
add repeat_signed 0 '1 2 3 4 5 6 7 8 9 10\n+2*5 1 2 3 4 5 6 7 8\n'
add repeat_without_count 0 '1 2 3 4 5 6 7 8 9 10\n*5 1 2 3 4 5 6 7 8 9\n'
add repeat_double_star 0 '1 2 3 4 5 6 7 8 9 10\n2**5 1 2 3 4 5 6 7 8\n'
add repeat_too_large 0 '1 2 3 4 5 6 7 8 9 10\n99999999999*5\n'
# Slash ends the record; the columns not read keep their values
add slash_after_three 0 '1 2 3 4 5 6 7 8 9 10\n21 22 23 / 99\n31 32 33 34 35 36 37 38 39 40\n'
add slash_glued 0 '1 2 3 4 5 6 7 8 9 10\n21 22 23/\n'
add slash_after_comma 0 '1 2 3 4 5 6 7 8 9 10\n21 22,/\n'
add slash_alone 0 '/\n1 2 3 4 5 6 7 8 9 10\n  /\n'
add slash_after_repeat 0 '1 2 3 4 5 6 7 8 9 10\n21 22 23 24 3*35/\n'
add slash_on_next_line 0 '1 2 3 4 5 6 7 8 9 10\n21 22 23\n/ 99\n'
# Skipped records
add skip_takes_first_number 2 '5 abc\n6 7 8\n1 2 3 4 5 6 7 8 9 10\n'
add skip_passes_blank_lines 1 '\n  \n5\n1 2 3 4 5 6 7 8 9 10\n'
add skip_text 1 'abc 5\n1 2 3 4 5 6 7 8 9 10\n'
add skip_number_glued_to_text 1 '5abc 8\n1 2 3 4 5 6 7 8 9 10\n'
add skip_empty_value 1 ',5\n1 2 3 4 5 6 7 8 9 10\n'
add skip_semicolons 3 '5;6\n;7\n 8 ; 9\n1 2 3 4 5 6 7 8 9 10\n'
add skip_slash 1 '/ 8\n1 2 3 4 5 6 7 8 9 10\n'
add skip_repeat 2 '2*7 8\n3* 9\n1 2 3 4 5 6 7 8 9 10\n'
add skip_beyond_end 3 '5\n6\n'
add skip_empty_file 1 ''
# Number forms of the runtime beyond the plain notation: exponents without
# their letter (as the runtime writes them beyond +-99) and with Q,
# infinities and NaNs, values beyond the double range
add letterless_exponents 0 '0.123456789-100 -0.5250000000+001 1.0+5 1-5 .5+5 1.+5 0.1+400 -0.1+400 1.0-400 -1.0-400\n'
add q_exponent 0 '1q5 1.0Q-5 -2.5q+2 1 2 3 4 5 6 7\n'
add infinities 0 '+inf inf INF -Inf infinity INFINITY -Infinity +Infinity iNfInItY -inf\n'
add nans 0 'nan NAN -nan +nan nan() nan(abc) NaN(0x7ff) nan(_9) nan(*) nan(()\n'
add specials_before_separators 0 'inf,-inf,nan(x),1 2 3 4 5 6 nan/\n1 2 3 4 5 6 7 8 9 -infinity\n'
add repeated_specials 0 '2*inf 3*-nan 2*1.0+5 2*nan(*) 1\n'
add beyond_double_range 0 '1.5d+400 -1.5e+400 1e-400 -1e-400 4.9e-324 2.4703282292062328e-324 1e-320 -0.0 1.7976931348623158e308 1.7976931348623159e308\n'
add special_in_record_six 0 '1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 NaN 7 8 9 10\n1 2 3 4 5 6 7 8 9 0.5-101\n'
add skip_special 2 'inf abc\n-nan(1) 2\n1 2 3 4 5 6 7 8 9 10\n'
# Near misses of those forms, which the runtime does not read
add letterless_exponent_without_digits 0 '1 2 3 4 5 6 7 8 9 10\n1.0+ 2 3 4 5 6 7 8 9 10\n'
add letterless_exponent_two_signs 0 '1 2 3 4 5 6 7 8 9 10\n1.0+-5 2 3 4 5 6 7 8 9 10\n'
add infinity_cut_short 0 '1 2 3 4 5 6 7 8 9 10\ninfinit 2 3 4 5 6 7 8 9 10\n'
add infinity_glued_to_text 0 '1 2 3 4 5 6 7 8 9 10\ninfinityx 2 3 4 5 6 7 8 9 10\n'
add nan_parenthesis_open 0 '1 2 3 4 5 6 7 8 9 10\nnan( 2 3 4 5 6 7 8 9 10\n'
add nan_text_after_parenthesis 0 '1 2 3 4 5 6 7 8 9 10\nnan()x 2 3 4 5 6 7 8 9 10\n'
add nan_semicolon_in_parentheses 0 '1 2 3 4 5 6 7 8 9 10\nnan(a;b) 2 3 4 5 6 7 8 9 10\n'
