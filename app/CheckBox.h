#pragma once

#include <QCheckBox>

// A check box that a click anywhere on its rectangle toggles, as the window is designed: Qt's own
// takes only clicks on its box and caption, so a click beside a short caption did nothing.
class TCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
