#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

// Keeps child controls at their designed distances from the edges they are anchored to while
// their parent is resized: anchored left and right a control stretches, anchored right only it
// moves; likewise top and bottom.
class TAnchors : public QObject {
public:
    enum Edge { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

    // Watches parent, whose designed client size is designedSize.
    TAnchors(QWidget* parent, QSize designedSize);

    // Places child at its designed rectangle and keeps it anchored to edges (a set of Edge); a
    // child placed before takes the new rectangle and edges.
    void Place(QWidget* child, QRect designed, int edges = akLeft | akTop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Anchored {
        QWidget* child;
        QRect designed;
        int edges;
    };
    void Apply(const Anchored& a, QSize size) const;

    QWidget* parent;
    QSize designedSize;
    std::vector<Anchored> children;
};
