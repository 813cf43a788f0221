// Helpers of the formula node tests: node makers and a white picture with a root row over a tree.
#pragma once

#include "formula/ExprNodes.h"

#include <QImage>
#include <QPainter>

#include <memory>
#include <vector>

namespace FormulaScene {

template <typename T, typename... A> std::unique_ptr<T> make(A&&... args) {
    return std::make_unique<T>(std::forward<A>(args)...);
}

inline TExprPtr var(const char* s) { return make<TExprVar>(QString::fromUtf8(s)); }
inline TExprPtr num(double v) { return make<TExprNumber>(v, false); }
inline TExprPtr sign(int code) { return make<TExprSign>(quint16(code)); }

inline TExprPtr chainOf(std::vector<TExprPtr> nodes) {
    TExprPtr first;
    for (auto& n : nodes) {
        if (!first)
            first = std::move(n);
        else
            first->AddNext(std::move(n));
    }
    return first;
}

// x + y as the items of a row.
inline TExprPtr sumItems() {
    std::vector<TExprPtr> v;
    v.push_back(var("x"));
    v.push_back(sign(43));
    v.push_back(var("y"));
    return chainOf(std::move(v));
}

// A white picture with a painter and a root chain over the tree, at 14 points.
struct Scene {
    QImage image{600, 300, QImage::Format_RGB32};
    QPainter painter;
    std::unique_ptr<TExprChain> root;

    explicit Scene(TExprPtr tree, int pixels = 19) {
        image.fill(Qt::white);
        painter.begin(&image);
        root = make<TExprChain>(std::move(tree));
        root->SetCanvas(&painter);
        root->SetFontHeight(pixels);
    }
    TExprClass* first() const { return root->Son(); }
    void draw(int x = 10, int y = 10) {
        root->Draw(x, y, 0, 0);
        painter.end();
    }
    bool inked(int x, int y) const { return qGray(image.pixel(x, y)) < 128; }
    int inkedInColumn(int x, int top, int bottom) const {
        int n = 0;
        for (int y = top; y <= bottom; ++y)
            n += inked(x, y);
        return n;
    }
};

} // namespace FormulaScene
