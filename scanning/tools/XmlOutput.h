#pragma once

#include <plist/plist.h>

// A helper's answer: one property list, printed as XML on standard output.
class XmlOutput {
public:
    // False, after saying why on standard error, when it was not printed whole; `what` names
    // it in that message.
    static bool print(plist_t plist, const char *what);

    XmlOutput() = delete;
};
