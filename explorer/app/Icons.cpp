#include "Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <functional>

namespace icons {

namespace {

QIcon Standard(QStyle::StandardPixmap pixmap) {
    return QApplication::style()->standardIcon(pixmap);
}

// An icon drawn on a 32 by 32 canvas, at the sizes the views ask for.
QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const QColor INK(40, 60, 90);
const QColor PAPER(250, 250, 245);
const QColor ACCENT(52, 101, 164);

void Squares(QPainter& p, int count, int size, int gap) {
    p.setPen(Qt::NoPen);
    p.setBrush(ACCENT);
    const int step = size + gap;
    const int origin = (32 - (count * step - gap)) / 2;
    for (int row = 0; row < count; ++row) {
        for (int column = 0; column < count; ++column) {
            p.drawRoundedRect(origin + column * step, origin + row * step, size, size, 2, 2);
        }
    }
}

void Magnifier(QPainter& p) {
    p.setPen(QPen(INK, 3));
    p.setBrush(PAPER);
    p.drawEllipse(QPointF(13, 13), 8, 8);
    p.setPen(QPen(INK, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19, 19), QPointF(28, 28));
}

void Page(QPainter& p) {
    p.setPen(QPen(INK, 1.5));
    p.setBrush(PAPER);
    QPainterPath page;
    page.moveTo(7, 3);
    page.lineTo(20, 3);
    page.lineTo(26, 9);
    page.lineTo(26, 29);
    page.lineTo(7, 29);
    page.closeSubpath();
    p.drawPath(page);
}

QIcon DrawSearchResults(bool open) {
    return Drawn([open](QPainter& p) {
        p.setPen(QPen(INK, 1.5));
        p.setBrush(open ? QColor(255, 224, 130) : QColor(240, 200, 90));
        p.drawRoundedRect(2, 8, 24, 18, 2, 2);
        p.save();
        p.translate(8, 6);
        p.scale(0.75, 0.75);
        Magnifier(p);
        p.restore();
    });
}

QIcon DrawFolder(bool open) {
    return Drawn([open](QPainter& p) {
        p.setPen(QPen(INK, 1.5));
        p.setBrush(QColor(240, 200, 90));
        QPainterPath back;
        back.moveTo(3, 7);
        back.lineTo(12, 7);
        back.lineTo(14, 10);
        back.lineTo(28, 10);
        back.lineTo(28, 26);
        back.lineTo(3, 26);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(255, 224, 130));
        if (open) {
            // The front flap tipped forward.
            QPainterPath front;
            front.moveTo(7, 14);
            front.lineTo(31, 14);
            front.lineTo(27, 26);
            front.lineTo(3, 26);
            front.closeSubpath();
            p.drawPath(front);
        } else {
            p.drawRect(QRectF(3, 13, 25, 13));
        }
    });
}

} // namespace

QIcon Folder(bool open) {
    // Drawn rather than the style's, whose folder stops at 16 pixels: the large-icon view
    // shows it at 32.
    static const QIcon CLOSED = DrawFolder(false);
    static const QIcon OPEN = DrawFolder(true);
    return open ? OPEN : CLOSED;
}

QIcon SearchResults(bool open) {
    // Asked for at every paint of the tree: drawn once.
    static const QIcon CLOSED = DrawSearchResults(false);
    static const QIcon OPEN = DrawSearchResults(true);
    return open ? OPEN : CLOSED;
}

QIcon File() {
    // Asked for by every row the list paints: the style's icon decodes its images each time it
    // is made, so it is made once.
    static const QIcon FILE_ICON = Standard(QStyle::SP_FileIcon);
    return FILE_ICON;
}

QIcon ForCommand(ECommand command) {
    switch (command) {
    case ECommand::Up:
        return Standard(QStyle::SP_FileDialogToParent);
    case ECommand::New:
        return Drawn([](QPainter& p) {
            Page(p);
            p.setPen(QPen(QColor(46, 139, 87), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16.5, 11), QPointF(16.5, 23));
            p.drawLine(QPointF(10.5, 17), QPointF(22.5, 17));
        });
    case ECommand::DeleteFile:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(QColor(180, 40, 40), 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
        });
    case ECommand::Properties:
        return Drawn([](QPainter& p) {
            Page(p);
            p.setPen(QPen(INK, 2));
            for (int y = 11; y <= 23; y += 4) {
                p.drawLine(QPointF(11, y), QPointF(22, y));
            }
        });
    case ECommand::FindFiles:
        return Drawn(Magnifier);
    case ECommand::LargeIcons:
        return Drawn([](QPainter& p) { Squares(p, 2, 11, 4); });
    case ECommand::SmallIcons:
        return Drawn([](QPainter& p) { Squares(p, 3, 7, 3); });
    case ECommand::List:
        return Drawn([](QPainter& p) {
            for (int row = 0; row < 4; ++row) {
                p.setPen(Qt::NoPen);
                p.setBrush(ACCENT);
                p.drawRect(5, 6 + row * 6, 4, 4);
                p.setPen(QPen(INK, 2));
                p.drawLine(QPointF(12, 8 + row * 6), QPointF(27, 8 + row * 6));
            }
        });
    case ECommand::Details:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(INK, 1.5));
            p.setBrush(PAPER);
            p.drawRect(QRectF(4, 5, 24, 22));
            p.drawLine(QPointF(4, 11), QPointF(28, 11));
            p.drawLine(QPointF(13, 5), QPointF(13, 27));
            p.drawLine(QPointF(4, 17), QPointF(28, 17));
            p.drawLine(QPointF(4, 22), QPointF(28, 22));
        });
    case ECommand::Sheetforge:
        return Drawn([](QPainter& p) {
            p.setPen(QPen(INK, 1.5));
            p.setBrush(QColor(200, 225, 250));
            p.drawEllipse(QPointF(16, 16), 12, 12);
            p.drawEllipse(QPointF(16, 16), 5, 12);
            p.drawLine(QPointF(4, 16), QPointF(28, 16));
        });
    case ECommand::HelpTopics:
        return Standard(QStyle::SP_DialogHelpButton);
    default:
        return {};
    }
}

QIcon Application() {
    return Drawn([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(ACCENT);
        p.drawRoundedRect(1, 1, 30, 30, 6, 6);
        p.setBrush(QColor(255, 214, 102));
        QPainterPath folder;
        folder.moveTo(6, 10);
        folder.lineTo(13, 10);
        folder.lineTo(15, 12);
        folder.lineTo(26, 12);
        folder.lineTo(26, 25);
        folder.lineTo(6, 25);
        folder.closeSubpath();
        p.drawPath(folder);
        p.setPen(QPen(ACCENT, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 15), QPointF(16, 22));
        p.drawLine(QPointF(12.5, 18.5), QPointF(16, 22));
        p.drawLine(QPointF(19.5, 18.5), QPointF(16, 22));
    });
}

} // namespace icons
