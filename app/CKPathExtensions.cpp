#include "app/CKPathExtensions.h"

#include <QHash>
#include <QString>

#include <cmath>

QPainterPath CKClosedPath(const QPainterPath& path)
{
    if (path.isEmpty())
        return QPainterPath();
    QPainterPath closed = path;
    // Closes the last subpath unless it ends where it started (it was closed).
    closed.closeSubpath();
    return closed;
}

QRectF CKIntegralRect(const QRectF& rect)
{
    if (rect.isEmpty())
        return QRectF();
    const qreal left = std::floor(rect.left()), top = std::floor(rect.top());
    return QRectF(left, top, std::ceil(rect.right()) - left, std::ceil(rect.bottom()) - top);
}

const QPainterPath& CKRoundedRectPath(const QRectF& rect, qreal radius)
{
    static QHash<QString, QPainterPath> cache;
    const QRectF whole = CKIntegralRect(rect);
    const QString key = QStringLiteral("%1x%2, %3x%4x%5")
                            .arg(int(whole.x()))
                            .arg(int(whole.y()))
                            .arg(int(whole.width()))
                            .arg(int(whole.height()))
                            .arg(int(radius));
    auto found = cache.find(key);
    if (found == cache.end()) {
        QPainterPath path;
        CKAppendRoundedRect(path, whole, radius);
        found = cache.insert(key, path);
    }
    return found.value();
}

void CKAppendRoundedRect(QPainterPath& path, const QRectF& rect, qreal radius)
{
    path.addRoundedRect(rect, radius, radius);
}
