#pragma once

#include <QDialog>
#include <QTextEdit>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace Vantorel {

class ReviewCardText;
class ReviewResponder;

// The response field: grows with its text from three lines upwards. Return publishes;
// Shift+Return or Alt+Return starts a new line.
class ResponseTextEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit ResponseTextEdit(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Three lines, or the text's height when it is taller.
    int contentHeight() const;
    int minimumContentHeight() const;

signals:
    void submitted();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The editor sheet of one review's response: window-modal, 480 to 920 wide and as tall as its
// content. It shows the review's stars and text, binds the response field to the record's draft,
// and publishes through the responder. It closes when the responder's showEditor goes false, and
// closing it by any means sets that to false.
class ResponseEditorDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetMinimumWidth = 480;
    static constexpr int sheetMaximumWidth = 920;
    static constexpr int reviewMaximumHeight = 480;

    ResponseEditorDialog(std::shared_ptr<ReviewResponder> responder, QWidget *parent = nullptr);
    ~ResponseEditorDialog() override;

    ReviewResponder *responder() const { return m_responder.get(); }
    ResponseTextEdit *responseField() const { return m_field; }
    QPushButton *publishButton() const { return m_publish; }
    QPushButton *cancelButton() const { return m_cancel; }
    QProgressBar *progressIndicator() const { return m_progress; }
    QScrollArea *reviewScrollArea() const { return m_scroll; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateHeights();
    void showPublishAlert();

    std::shared_ptr<ReviewResponder> m_responder;
    QScrollArea *m_scroll;
    ReviewCardText *m_reviewText;
    ResponseTextEdit *m_field;
    QPushButton *m_cancel;
    QPushButton *m_publish;
    QProgressBar *m_progress;
    bool m_updatingHeights = false;
};

// An alert as the review card shows it: the text as its title and one "OK" button, window-modal
// on `parent`'s window, deleted when dismissed; `dismissed` runs then.
void showReviewAlert(QWidget *parent, const QString &text, std::function<void()> dismissed);

}  // namespace Vantorel
