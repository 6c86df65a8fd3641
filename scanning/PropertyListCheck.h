#pragma once

#include <QByteArrayView>

// Looks over a property list before libplist builds it. libplist builds a tree of any depth
// (and frees it recursively), builds an object once for every reference to it, and aborts on a
// zero character in a text, so a few hundred hostile bytes could crash the program or ask for
// gigabytes. What it would build is bounded here, in time linear in the input.
class PropertyListCheck {
public:
    // Containers nested deeper than this are refused; app listings are under 10 deep.
    static constexpr int maximumDepth = 256;
    // Objects built in all: an app takes about 17, so this is room for 60,000 apps.
    static constexpr qint64 maximumObjects = qint64(1) << 20;

    // True when libplist may be given the bytes: an XML list within the bounds above, or a
    // binary one that also fits its own tables and shares no container (texts and numbers may
    // be shared, as every binary writer does, within a budget of the input's size).
    static bool isAcceptable(QByteArrayView data);

    PropertyListCheck() = delete;
};
