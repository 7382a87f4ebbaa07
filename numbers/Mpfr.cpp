#include "numbers/Mpfr.h"

#include <cctype>
#include <string>

bool MpfrReal::Parse(std::string_view text, bool* exact)
{
    // MPFR reads from a terminated string; a view may hold a NUL inside,
    // which must not end the number early and pass for the whole text.
    if (text.find('\0') != std::string_view::npos)
        return false;
    const std::string s(text);
    char* end = nullptr;
    const int rounded = mpfr_strtofr(m_value, s.c_str(), &end, 10, MPFR_RNDN);
    if (exact)
        *exact = rounded == 0;
    if (end == s.c_str())
        return false;
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    return *end == '\0' && mpfr_number_p(m_value);
}
