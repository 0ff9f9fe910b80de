// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include "UT_Types.h"

// Owning character string, as the host's string parameters return it.
class UT_String
{
public:
    UT_String() = default;
    UT_String(const char *s) : myValue(s ? s : "") {}
    UT_String(const std::string &s) : myValue(s) {}

    operator const char *() const { return myValue.c_str(); }
    const char *buffer() const { return myValue.c_str(); }
    const char *c_str() const { return myValue.c_str(); }
    const std::string &toStdString() const { return myValue; }
    bool isstring() const { return !myValue.empty(); }
    int length() const { return int(myValue.size()); }
    void harden() {}
    void harden(const char *s) { myValue = s ? s : ""; }
    UT_String &operator=(const char *s) { myValue = s ? s : ""; return *this; }
    UT_String &operator=(const std::string &s) { myValue = s; return *this; }
    bool operator==(const char *s) const { return myValue == (s ? s : ""); }

private:
    std::string myValue;
};
