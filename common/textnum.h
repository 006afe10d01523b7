// Numbers from configuration text, read the way the router always has (atoi:
// leading blanks, an optional sign, digits, anything after ignored, no digits
// is 0), but without undefined behaviour on values too large for an int:
// those are clamped.
#pragma once

int text_to_int(const char *text);

// True when text is a plain decimal number (digits only, at least one) no
// greater than max; *value receives it.
bool parse_decimal(const char *text, unsigned long max, unsigned long *value);
