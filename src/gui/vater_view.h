#pragma once
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace lumera {
class Program;
}

namespace lumera::gui {

// The farewell window: the dedication picture and the quotation button.
class VaterView : public QWidget {
    Q_OBJECT
public:
    explicit VaterView(Program& program);
    QPushButton* button() const { return button_; }
    QString quotation() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void finish();

    Program& program_;
    QLabel* picture_ = nullptr;
    QPushButton* button_ = nullptr;
    QLabel* caption_ = nullptr;
};

}  // namespace lumera::gui
