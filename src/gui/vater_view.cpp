#include "gui/vater_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QVBoxLayout>

#include "gui/pictures.h"
#include "gui/twips.h"
#include "shell/program.h"

namespace lumera::gui {

VaterView::VaterView(Program& program) : program_(program) {
    Vater& model = program_.vater();
    setWindowTitle(QString::fromStdString(model.Caption));
    setFixedSize(twipsToPixels(model.Width), twipsToPixels(model.Height));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(model.BackColor.r, model.BackColor.g, model.BackColor.b));
    setPalette(pal);
    setAutoFillBackground(true);

    const Control& pic = model.Picture2;
    picture_ = new QLabel(this);
    picture_->setGeometry(twipsToPixels(pic.left), twipsToPixels(pic.top), twipsToPixels(pic.width),
                          twipsToPixels(pic.height));
    picture_->setPixmap(drawPicture(pic.picture, picture_->size(), devicePixelRatioF()));

    // A button whose caption wraps: the quotation is longer than one line.
    const Control& cmd = model.Command1;
    button_ = new QPushButton(this);
    button_->setObjectName(QStringLiteral("Command1"));
    button_->setGeometry(twipsToPixels(cmd.left), twipsToPixels(cmd.top), twipsToPixels(cmd.width),
                         twipsToPixels(cmd.height));
    QPalette buttonPal = button_->palette();
    if (cmd.backColor)
        buttonPal.setColor(QPalette::Button, QColor(cmd.backColor->r, cmd.backColor->g, cmd.backColor->b));
    button_->setPalette(buttonPal);
    button_->setAutoFillBackground(true);
    button_->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(%1, %2, %3); border: 1px solid #888; }")
                               .arg(cmd.backColor ? cmd.backColor->r : 255)
                               .arg(cmd.backColor ? cmd.backColor->g : 255)
                               .arg(cmd.backColor ? cmd.backColor->b : 0));
    auto* layout = new QVBoxLayout(button_);
    caption_ = new QLabel(QString::fromStdString(cmd.caption), button_);
    caption_->setWordWrap(true);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont f = caption_->font();
    f.setPointSizeF(cmd.fontSize);
    f.setItalic(true);
    caption_->setFont(f);
    layout->addWidget(caption_);
    connect(button_, &QPushButton::clicked, this, [this] {
        program_.vater().Command1_Click();
        finish();
    });
}

QString VaterView::quotation() const { return caption_->text(); }

void VaterView::closeEvent(QCloseEvent* event) {
    program_.vater().Form_Unload();
    event->accept();
    finish();
}

void VaterView::finish() {
    if (program_.ended()) QApplication::quit();
}

}  // namespace lumera::gui
