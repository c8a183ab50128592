#include "ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "app/ScreenTexts.h"
#include "ui/Artwork.h"
#include "ui/Fonts.h"
#include "ui/MailBodyWindow.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

namespace kervo {

namespace {

// The skin was drawn for black label text; a dark desktop theme must not turn it white.
const QColor kLabelText(0, 0, 0);
// The caption boxes above the dials are white whatever the desktop theme.
const QColor kCaptionBackground(255, 255, 255);
const QColor kResetAlarmText(192, 0, 0);

// Dial i and its caption box: six columns 104 px apart, two rows 128 px apart, upper row first.
QRect dialRect(int index) {
    const int col = index % 6;
    const int row = index / 6;
    return QRect(32 + 104 * col, 120 + 128 * row, WindowModel::kDialSize, WindowModel::kDialSize);
}

QRect captionRect(int index) {
    const int col = index % 6;
    const int row = index / 6;
    return QRect(32 + 104 * col, 96 + 128 * row, 97, 17);
}

}  // namespace

MainWindow::MainWindow(WindowModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), model_(model) {
    installFontSubstitutions();
    setWindowTitle(screen::windowTitle());
    setWindowIcon(builtinWindowIcon());
    setFont(mainWindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMask(windowShape());

    buildControls();
    buildMenus();
    adoptBuiltinPictures();

    connect(&model_, &WindowModel::backgroundChanged, this, qOverload<>(&QWidget::update));
    connect(&model_, &WindowModel::alarmSubjectChanged, alarmSubject_, &TextBox::setText);
    connect(&model_, &WindowModel::alarmReportChanged, alarmReport_, &TextBox::setText);
    connect(&model_, &WindowModel::alarmMessageChanged, alarmMessage_, &TextBox::setText);
    connect(&model_, &WindowModel::clockChanged, clock_, &TextBox::setText);
    connect(&model_, &WindowModel::statusNoticeChanged, statusNotice_, &TextBox::setText);
    connect(&model_, &WindowModel::resetAlarmVisibleChanged, resetAlarmButton_,
            &QWidget::setVisible);
    connect(&model_, &WindowModel::dialChanged, this, &MainWindow::refreshDial);
    connect(&model_, &WindowModel::windowStateRequested, this, &MainWindow::applyWindowState);
    connect(&model_, &WindowModel::mailBodyChanged, this, &MainWindow::syncMailBody);
    connect(&model_, &WindowModel::mailBodyShowRequested, this, &MainWindow::showMailBodyWindow);

    alarmSubject_->setText(model_.alarmSubject());
    alarmReport_->setText(model_.alarmReport());
    alarmMessage_->setText(model_.alarmMessage());
    clock_->setText(model_.clock());
    statusNotice_->setText(model_.statusNotice());
    for (int i = 0; i < kDialCount; ++i) {
        refreshDial(i);
    }
    resetAlarmButton_->setVisible(model_.resetAlarmVisible());
    syncMailBody();
}

MainWindow::~MainWindow() {
    delete mailBody_.data();
}

QRegion MainWindow::windowShape() {
    constexpr int w = 678;
    constexpr int h = 519;
    constexpr int e = 48;  // corner ellipse width and height
    QRegion shape(e / 2, 0, w - e, h);
    shape += QRegion(0, e / 2, w, h - e);
    shape += QRegion(0, 0, e, e, QRegion::Ellipse);
    shape += QRegion(w - e, 0, e, e, QRegion::Ellipse);
    shape += QRegion(0, h - e, e, e, QRegion::Ellipse);
    shape += QRegion(w - e, h - e, e, e, QRegion::Ellipse);
    return shape;
}

void MainWindow::buildControls() {
    const QFont nameFont = designFont(gothicFace(), 9, 400);
    const QFont reportFont = designFont(proportionalGothicFace(), 9, 400);

    auto makeLabel = [this](const char* name, const QRect& box, const QFont& font) {
        auto* label = new TextBox(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(box);
        label->setFont(font);
        label->setTextColour(kLabelText);
        return label;
    };

    for (int i = 0; i < kDialCount; ++i) {
        auto* dial = new PictureBox(this);
        dial->setObjectName(QStringLiteral("dial%1").arg(i));
        dial->setGeometry(dialRect(i));
        dial->setBackground(toQColor(WindowModel::kDialBackground));
        dial->hide();
        connect(dial, &PictureBox::clicked, this, [this, i] { Q_EMIT dialClicked(i); });
        dials_[static_cast<size_t>(i)] = dial;

        auto* caption = makeLabel("dialCaption", captionRect(i), nameFont);
        caption->setObjectName(QStringLiteral("dialCaption%1").arg(i));
        caption->setOpaque(kCaptionBackground);
        dialCaptions_[static_cast<size_t>(i)] = caption;
    }

    emblem_ = new PictureBox(this);
    emblem_->setObjectName(QStringLiteral("emblem"));
    emblem_->setGeometry(24, 32, 32, 25);
    emblem_->setBackground(toQColor(WindowModel::kDialBackground));
    emblem_->setImage(builtinEmblem());

    const QFont windowFont = mainWindowFont();
    productTitle_ =
        makeLabel("productTitle", QRect(56, 8, 329, 25), designFont(heavyFace(), 9.75, 400, true));
    productTitle_->setText(screen::productTitle());
    clock_ = makeLabel("clock", QRect(72, 40, 169, 17), designFont(heavyFace(), 9.75, 400));
    resetAlarmButton_ = makeLabel("resetAlarmButton", QRect(520, 8, 97, 17), windowFont);
    resetAlarmButton_->setText(screen::resetAlarm());
    resetAlarmButton_->setTextColour(kResetAlarmText);
    resetAlarmButton_->hide();
    // The minimise and close marks are part of the skin; these boxes only take the clicks.
    minimiseButton_ = makeLabel("minimiseButton", QRect(624, 8, 17, 17), windowFont);
    minimiseButton_->setText(screen::hotSpot());
    closeButton_ = makeLabel("closeButton", QRect(648, 8, 17, 17), windowFont);
    closeButton_->setText(screen::hotSpot());
    alarmSubject_ = makeLabel("alarmSubject", QRect(48, 376, 545, 25), reportFont);
    alarmMessage_ = makeLabel("alarmMessage", QRect(48, 408, 577, 25), reportFont);
    alarmReport_ = makeLabel("alarmReport", QRect(48, 432, 593, 49), reportFont);
    dialHint_ = makeLabel("dialHint", QRect(216, 496, 257, 17), reportFont);
    dialHint_->setText(screen::dialHint());
    statusNotice_ = makeLabel("statusNotice", QRect(568, 496, 97, 17), windowFont);

    connect(alarmReport_, &TextBox::clicked, this, &MainWindow::showReportBody);
    connect(minimiseButton_, &TextBox::clicked, this, &MainWindow::minimise);
    connect(closeButton_, &TextBox::clicked, this, &MainWindow::requestQuit);
    connect(resetAlarmButton_, &TextBox::clicked, this, &MainWindow::resetAlarmRequested);
}

void MainWindow::buildMenus() {
    // The menu bar lies in the part of the window that the shape cuts away; it is kept for its
    // two commands, never shown.
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(screen::fileMenu());
    file->setObjectName(QStringLiteral("fileMenu"));
    quitAction_ = file->addAction(screen::quitCommand());
    quitAction_->setObjectName(QStringLiteral("quitAction"));
    QMenu* edit = menuBar_->addMenu(screen::editMenu());
    edit->setObjectName(QStringLiteral("editMenu"));
    resetAlarmAction_ = edit->addAction(screen::resetAlarmCommand());
    resetAlarmAction_->setObjectName(QStringLiteral("resetAlarmAction"));
    menuBar_->hide();

    connect(quitAction_, &QAction::triggered, this, &MainWindow::requestQuit);
    connect(resetAlarmAction_, &QAction::triggered, this, &MainWindow::resetAlarmRequested);

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("contextMenu"));
    historyAction_ = contextMenu_->addAction(screen::historyCommand());
    historyAction_->setObjectName(QStringLiteral("historyAction"));
    connect(historyAction_, &QAction::triggered, this, &MainWindow::historyRequested);
}

void MainWindow::adoptBuiltinPictures() {
    // Until the start-up loads the configured pictures the window shows its own. A model that
    // already holds pictures keeps them.
    if (model_.backgroundPicture().isNull()) {
        model_.setBackgroundPicture(builtinSkin());
    }
    const QImage dial = builtinDial();
    for (int i = 0; i < kDialCount; ++i) {
        if (model_.dial(i).picture.isNull()) {
            model_.setDialPicture(i, dial);
        }
    }
    if (model_.statusNotice().isEmpty()) {
        model_.setStatusNotice(screen::noticeWhenWell());
    }
}

void MainWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(model_.backgroundColour()));
    const QImage& picture = model_.backgroundPicture();
    if (!picture.isNull()) {
        painter.drawImage(0, 0, picture);
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
    startDrag(event->button(), event->globalPosition());
}

void MainWindow::startDrag(Qt::MouseButton button, QPointF globalPos) {
    if (button != Qt::LeftButton) {
        return;
    }
    if (startSystemMove()) {
        return;
    }
    manualDrag_ = true;
    dragOffset_ = globalPos - QPointF(pos());
}

bool MainWindow::startSystemMove() {
    QWindow* handle = windowHandle();
    return handle != nullptr && handle->startSystemMove();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (manualDrag_ && (event->buttons() & Qt::LeftButton)) {
        move((event->globalPosition() - dragOffset_).toPoint());
    }
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        manualDrag_ = false;
    }
}

void MainWindow::showReportBody() {
    model_.showMailBody();
}

void MainWindow::minimise() {
    model_.setWindowState(WindowState::Minimised);
}

void MainWindow::requestQuit() {
    // The program ends on the first request; whatever closes the windows on the way out must
    // not ask again.
    if (quitting_) {
        return;
    }
    quitting_ = true;
    Q_EMIT quitRequested();
}

// The right button anywhere on the window, a control included: the left one still drags.
void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    contextMenu_->popup(event->globalPos());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A close by the window system ends the program too, rather than leaving it running with
    // no main window.
    event->accept();
    requestQuit();
}

void MainWindow::refreshDial(int index) {
    const DialModel& dial = model_.dial(index);
    const auto slot = static_cast<size_t>(index);
    dials_[slot]->setImage(model_.renderDial(index));
    dials_[slot]->setVisible(dial.visible);
    dialCaptions_[slot]->setText(dial.caption);
}

WindowState MainWindow::currentState() const {
    if (isMinimized()) {
        return WindowState::Minimised;
    }
    return maximised_ ? WindowState::Maximised : WindowState::Normal;
}

void MainWindow::unminimise() {
    if (isMinimized()) {
        showNormal();
    }
}

void MainWindow::applyWindowState(WindowState state) {
    switch (state) {
        case WindowState::Maximised: {
            if (!maximised_) {
                normalPos_ = pos();
                maximised_ = true;
            }
            QScreen* where = screen();
            if (where != nullptr) {
                move(where->availableGeometry().topLeft());
            }
            unminimise();
            show();
            raise();
            activateWindow();
            // The report the operator opened to read stays above the window it came from.
            if (mailBody_ != nullptr && mailBody_->isVisible() && !mailBody_->isMinimized()) {
                mailBody_->raise();
                mailBody_->activateWindow();
            }
            break;
        }
        case WindowState::Normal:
            if (maximised_) {
                maximised_ = false;
                move(normalPos_);
            }
            unminimise();
            break;
        case WindowState::Minimised:
            showMinimized();
            break;
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        model_.noteWindowState(currentState());
    }
}

void MainWindow::syncMailBody() {
    if (model_.mailBodyPresence() == MailBodyPresence::Absent) {
        if (mailBody_ != nullptr) {
            MailBodyWindow* gone = mailBody_.data();
            mailBody_ = nullptr;
            gone->hide();
            gone->deleteLater();
        }
        return;
    }
    if (mailBody_ == nullptr) {
        mailBody_ = new MailBodyWindow();
        connect(mailBody_.data(), &MailBodyWindow::closed, this, &MainWindow::mailBodyClosed);
    }
    mailBody_->setText(model_.mailBodyText());
}

void MainWindow::showMailBodyWindow() {
    syncMailBody();
    if (mailBody_ == nullptr) {
        return;
    }
    if (mailBody_->isMinimized()) {
        mailBody_->showNormal();
    }
    mailBody_->show();
    mailBody_->raise();
    mailBody_->activateWindow();
}

void MainWindow::mailBodyClosed() {
    model_.closeMailBody();
}

}  // namespace kervo
