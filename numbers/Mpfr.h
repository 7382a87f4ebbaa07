#pragma once
// An owned GNU MPFR number. MPFR does all the arithmetic through get(); this
// only ties the number's life to a scope and reads decimal text whole.

#include <mpfr.h>

#include <string_view>

class MpfrReal {
public:
    explicit MpfrReal(mpfr_prec_t bits)
    {
        mpfr_init2(m_value, bits);
        mpfr_set_zero(m_value, 1);
    }
    ~MpfrReal() { mpfr_clear(m_value); }
    MpfrReal(const MpfrReal&) = delete;
    MpfrReal& operator=(const MpfrReal&) = delete;

    mpfr_ptr get() { return m_value; }
    mpfr_srcptr get() const { return m_value; }

    // Takes the whole text as a finite decimal number (leading and trailing
    // blanks allowed), rounded to nearest. False when the text is anything
    // else; the value is then not to be used. `exact`, when given, tells
    // whether the value is the text's number itself, unrounded.
    bool Parse(std::string_view text, bool* exact = nullptr);

private:
    mpfr_t m_value;
};
