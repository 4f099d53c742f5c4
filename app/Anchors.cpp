#include "app/Anchors.h"

#include <QEvent>
#include <algorithm>

TAnchors::TAnchors(QWidget* parent, QSize designedSize)
    : QObject(parent), parent(parent), designedSize(designedSize) {
    parent->installEventFilter(this);
}

void TAnchors::Place(QWidget* child, QRect designed, int edges) {
    const auto placed = std::find_if(children.begin(), children.end(),
                                     [child](const Anchored& a) { return a.child == child; });
    Anchored& entry = placed != children.end() ? *placed : children.emplace_back();
    entry = {child, designed, edges};
    Apply(entry, parent->size());
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent && event->type() == QEvent::Resize) {
        for (const Anchored& a : children) {
            Apply(a, parent->size());
        }
    }
    return false;
}

void TAnchors::Apply(const Anchored& a, QSize size) const {
    const int dw = size.width() - designedSize.width();
    const int dh = size.height() - designedSize.height();
    QRect r = a.designed;
    if (a.edges & akRight) {
        if (a.edges & akLeft) {
            r.setWidth(qMax(0, r.width() + dw));
        } else {
            r.moveLeft(r.left() + dw);
        }
    }
    if (a.edges & akBottom) {
        if (a.edges & akTop) {
            r.setHeight(qMax(0, r.height() + dh));
        } else {
            r.moveTop(r.top() + dh);
        }
    }
    a.child->setGeometry(r);
}
