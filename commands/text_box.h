#pragma once

#include <QString>
#include <QStringView>
#include <functional>

namespace zariza {

// The document text as the commands see it: read and replaced whole, line ends CR LF.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
    // The same text handed to `take` a piece at a time, so that it can be written out without a
    // copy of all of it.
    virtual void readText(const std::function<void(QStringView)> &take) const { take(text()); }
    // The text is taken over: its memory may be given back as it goes into the widget.
    virtual void setText(QString text) = 0;
    // Whether there is memory to show `text`: the widget does not survive running out half-way.
    enum class Room {
        Enough,
        Tight, // it should fit, but with little to spare
        Lacking,
    };
    virtual Room roomFor(QStringView text) const = 0;
    // Whether there is memory to read a file of this size and decode it.
    virtual Room roomToRead(qint64) const { return Room::Enough; }
};

} // namespace zariza
