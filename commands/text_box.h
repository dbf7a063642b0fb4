#pragma once

#include <QString>
#include <QStringView>

namespace zariza {

// The document text as the commands see it: read and replaced whole, line ends CR LF.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
    // Whether there is memory to show `text`: the widget does not survive running out half-way.
    enum class Room {
        Enough,
        Tight, // it should fit, but with little to spare
        Lacking,
    };
    virtual Room roomFor(QStringView text) const = 0;
};

} // namespace zariza
