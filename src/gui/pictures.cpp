#include "gui/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cmath>

namespace lumera::gui {

namespace {

// A growing population against its carrying capacity, with bootstrap-like
// scatter around the curve: the subject of the program in one picture.
void drawCover(QPainter& p, const QRectF& r) {
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(34, 70, 120));
    sky.setColorAt(0.65, QColor(120, 170, 205));
    sky.setColorAt(1, QColor(214, 232, 200));
    p.fillRect(r, sky);

    QRectF plot = r.adjusted(r.width() * 0.08, r.height() * 0.34, -r.width() * 0.06, -r.height() * 0.12);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.5));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    auto logistic = [](double t) { return 1.0 / (1.0 + std::exp(-9.0 * (t - 0.45))); };
    QPainterPath curve;
    for (int i = 0; i <= 200; ++i) {
        double t = i / 200.0;
        QPointF pt(plot.left() + t * plot.width(), plot.bottom() - logistic(t) * plot.height() * 0.92);
        if (i == 0)
            curve.moveTo(pt);
        else
            curve.lineTo(pt);
    }
    p.setPen(Qt::NoPen);
    unsigned seed = 20230401u;
    for (int i = 0; i < 140; ++i) {
        seed = seed * 1103515245u + 12345u;
        double t = (seed >> 8) % 1000 / 1000.0;
        seed = seed * 1103515245u + 12345u;
        double noise = (((seed >> 8) % 1000) / 1000.0 - 0.5) * 0.16;
        QPointF pt(plot.left() + t * plot.width(), plot.bottom() - (logistic(t) + noise) * plot.height() * 0.92);
        p.setBrush(QColor(255, 214, 90, 170));
        p.drawEllipse(pt, 2.6, 2.6);
    }
    p.setPen(QPen(QColor(255, 245, 200), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), plot.bottom() - plot.height() * 0.92),
               QPointF(plot.right(), plot.bottom() - plot.height() * 0.92));

    p.setPen(QColor(255, 255, 255));
    QFont title = p.font();
    title.setPointSizeF(r.height() * 0.085);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRectF(r.left(), r.top() + r.height() * 0.05, r.width(), r.height() * 0.15), Qt::AlignCenter,
               QStringLiteral("Lumera"));
    QFont sub = p.font();
    sub.setPointSizeF(r.height() * 0.032);
    sub.setBold(false);
    p.setFont(sub);
    p.drawText(QRectF(r.left() + r.width() * 0.08, r.top() + r.height() * 0.19, r.width() * 0.84, r.height() * 0.14),
               Qt::AlignCenter | Qt::TextWordWrap,
               QStringLiteral("Treatments compared through the Cartesian products of their bootstrap replicates"));
    p.setPen(QColor(40, 60, 40));
    p.drawText(QRectF(r.left(), r.bottom() - r.height() * 0.1, r.width() - 8, r.height() * 0.1),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Click the picture to continue"));
}

// A ladybird on a leaf, as a field photograph of the author's work.
void drawPhotograph(QPainter& p, const QRectF& r) {
    QRadialGradient bg(r.center(), r.width() * 0.8);
    bg.setColorAt(0, QColor(200, 225, 170));
    bg.setColorAt(1, QColor(70, 110, 60));
    p.fillRect(r, bg);
    p.save();
    p.translate(r.center());
    p.rotate(-30);
    QPainterPath leaf;
    double w = r.width() * 0.46, h = r.height() * 0.24;
    leaf.moveTo(-w, 0);
    leaf.cubicTo(-w * 0.3, -h * 1.6, w * 0.5, -h * 1.2, w, 0);
    leaf.cubicTo(w * 0.5, h * 1.2, -w * 0.3, h * 1.6, -w, 0);
    p.setPen(QPen(QColor(30, 80, 30), 1));
    p.setBrush(QColor(60, 150, 60));
    p.drawPath(leaf);
    p.drawLine(QPointF(-w, 0), QPointF(w, 0));
    p.restore();
    QPointF c = r.center() + QPointF(r.width() * 0.05, -r.height() * 0.04);
    double s = r.width() * 0.16;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20));
    p.drawEllipse(c + QPointF(s * 0.95, 0), s * 0.45, s * 0.45);
    p.setBrush(QColor(210, 30, 30));
    p.drawEllipse(c, s, s * 0.85);
    p.setBrush(QColor(20, 20, 20));
    for (QPointF d :
         {QPointF(-0.45, -0.35), QPointF(-0.45, 0.35), QPointF(0.1, -0.45), QPointF(0.1, 0.45), QPointF(-0.1, 0)})
        p.drawEllipse(c + d * s, s * 0.16, s * 0.16);
}

// A tree at dusk over a field: the dedication page.
void drawDedication(QPainter& p, const QRectF& r) {
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(40, 50, 110));
    sky.setColorAt(0.6, QColor(240, 150, 90));
    sky.setColorAt(1, QColor(250, 210, 140));
    p.fillRect(r, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 170));
    p.drawEllipse(QPointF(r.left() + r.width() * 0.72, r.top() + r.height() * 0.62), r.height() * 0.09,
                  r.height() * 0.09);
    QPainterPath hill;
    hill.moveTo(r.bottomLeft());
    hill.lineTo(r.left(), r.bottom() - r.height() * 0.22);
    hill.cubicTo(r.left() + r.width() * 0.3, r.bottom() - r.height() * 0.34, r.left() + r.width() * 0.7,
                 r.bottom() - r.height() * 0.16, r.right(), r.bottom() - r.height() * 0.26);
    hill.lineTo(r.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(40, 60, 35));
    p.drawPath(hill);
    QPointF base(r.left() + r.width() * 0.32, r.bottom() - r.height() * 0.28);
    p.setBrush(QColor(30, 30, 25));
    p.drawRect(QRectF(base.x() - r.width() * 0.012, base.y() - r.height() * 0.3, r.width() * 0.024, r.height() * 0.31));
    for (auto [dx, dy, rad] : {std::tuple{0.0, -0.42, 0.17}, std::tuple{-0.09, -0.34, 0.12},
                               std::tuple{0.09, -0.35, 0.13}, std::tuple{0.0, -0.28, 0.1}})
        p.drawEllipse(base + QPointF(dx * r.width(), dy * r.height()), rad * r.height() * 1.2, rad * r.height());
}

void drawButtonIcon(QPainter& p, const QRectF& r, const std::string& key) {
    QRectF b = r.adjusted(r.width() * 0.2, r.height() * 0.2, -r.width() * 0.2, -r.height() * 0.2);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.drawLine(b.bottomLeft(), b.bottomRight());
    p.drawLine(b.bottomLeft(), b.topLeft());
    p.setPen(QPen(QColor(30, 90, 170), 2));
    QPainterPath path;
    for (int i = 0; i <= 20; ++i) {
        double t = i / 20.0, y;
        if (key == "button-fecundity")
            y = std::exp(-std::pow((t - 0.4) / 0.2, 2));
        else if (key == "button-survival")
            y = 1.0 - t * t;
        else
            y = t * t;
        QPointF pt(b.left() + t * b.width(), b.bottom() - y * b.height());
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.drawPath(path);
}

void drawGreeting(QPainter& p, const QRectF& r, int index) {
    int timeOfDay = index % 4;
    const QColor skies[4] = {QColor(250, 220, 140), QColor(140, 200, 250), QColor(240, 140, 90), QColor(30, 40, 90)};
    p.fillRect(r, skies[timeOfDay]);
    p.setPen(Qt::NoPen);
    p.setBrush(timeOfDay == 3 ? QColor(240, 240, 200) : QColor(255, 200, 40));
    p.drawEllipse(r.center(), r.height() * 0.3, r.height() * 0.3);
}

}  // namespace

QPixmap drawPicture(const std::string& key, QSize size, qreal devicePixelRatio) {
    const QSize logical = size.expandedTo(QSize(1, 1));
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    QPixmap pixmap(QSize(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(0, 0, logical.width(), logical.height());
    if (key == "cover")
        drawCover(p, r);
    else if (key == "photograph")
        drawPhotograph(p, r);
    else if (key == "dedication")
        drawDedication(p, r);
    else if (key.rfind("button-", 0) == 0)
        drawButtonIcon(p, r, key);
    else if (key.rfind("greeting-", 0) == 0)
        drawGreeting(p, r, std::stoi(key.substr(9)));
    return pixmap;
}

}  // namespace lumera::gui
