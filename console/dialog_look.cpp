#include "dialog_look.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR"),
                      QStringLiteral("UnDotum"), QStringLiteral("Baekmuk Gulim")});
    font.setPointSize(9);
    return font;
}

QFont FrameRowFont() {
    // The label, the echo and the dump get a new text on every poll tick; running each through
    // the text shaper, and drawing it at fractional positions (a cached glyph image for each),
    // was most of what a tick cost. Their texts (hexadecimal digits, command letters, typed
    // text) need no shaping, so they go without where the script allows it.
    QFont font = DialogFont();
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void CentreOnCursor(QWidget* dialog) {
    // The size is only known once the layout has run; it has not yet if the dialog was never shown.
    if (QLayout* layout = dialog->layout())
        layout->activate();
    const QPoint cursor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(cursor, QSize(1, 1));
    const QSize size = dialog->frameGeometry().size(); // the frame only once the window exists
    const int x = std::clamp(cursor.x() - size.width() / 2, area.left(),
                             std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(cursor.y() - size.height() / 2, area.top(),
                             std::max(area.top(), area.bottom() + 1 - size.height()));
    dialog->move(x, y);
}
