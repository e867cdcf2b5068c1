#include "about_dlg.h"

#include <QBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "dialog_look.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("OrvelSeries 정보"));
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/orvel/icon32.png")).pixmap(32, 32));
    icon->setObjectName(QStringLiteral("icon"));

    auto* version = new QLabel(QStringLiteral("OrvelSeries 버전 1.0"), this);
    version->setTextFormat(Qt::PlainText);
    auto* purpose = new QLabel(QStringLiteral("Orvel(N) Series RS485 시험 프로그램"), this);
    purpose->setTextFormat(Qt::PlainText);

    auto* ok = new QPushButton(QStringLiteral("확인"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(version);
    texts->addWidget(purpose);
    texts->addStretch();

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 12, 12);
    row->setSpacing(16);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    row->addLayout(buttons);
    row->setSizeConstraint(QLayout::SetFixedSize);
}
