#pragma once

#include "app/views/ReviewCardLayout.h"

#include <QWidget>
#include <memory>

class QMenu;
class QPushButton;
class QToolButton;

namespace Fennick {
class StoreReview;
}

namespace Vantorel {

class ReviewCardDelegate;
class ReviewCardText;
class ReviewResponder;

// The interactive review card: the same layout as the painted row, with the title, body and
// response as selectable texts and the action row's controls as real buttons. The list opens it
// for the card under the pointer or with keyboard focus, one at a time.
class ReviewView : public QWidget {
    Q_OBJECT
public:
    ReviewView(const ReviewCardDelegate &delegate, QWidget *parent = nullptr);
    ~ReviewView() override;

    void setReview(std::shared_ptr<Fennick::StoreReview> review, std::shared_ptr<ReviewResponder> responder,
                   int width, bool enableTranslation);

    const std::shared_ptr<Fennick::StoreReview> &review() const { return m_review; }
    ReviewResponder *responder() const { return m_responder.get(); }
    const ReviewCardLayout *cardLayout() const { return m_layout.get(); }
    QPushButton *button(ReviewCardLayout::Button kind) const;
    QToolButton *shareButton() const { return m_share; }
    QMenu *shareMenu() const { return m_shareMenu; }
    // The buttons shown, from left to right: where Tab goes from the list.
    QList<QWidget *> tabStops() const;
    // Marks the card as the list's current one (the list has the keyboard focus).
    void setMarked(bool marked);
    bool isMarked() const { return m_marked; }

    // Builds the share menu (copy, e-mail) for a text.
    static QMenu *makeShareMenu(QWidget *parent, std::function<QString()> text);
    // The "mailto:" address that opens a new message with `text` as its body and no subject.
    static QUrl mailtoUrl(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    void refresh();
    void clicked(ReviewCardLayout::Button kind);

    const ReviewCardDelegate &m_delegate;
    std::shared_ptr<Fennick::StoreReview> m_review;
    std::shared_ptr<ReviewResponder> m_responder;
    int m_width = 0;
    bool m_enableTranslation = false;
    std::shared_ptr<const ReviewCardLayout> m_layout;
    ReviewCardText *m_title;
    ReviewCardText *m_body;
    ReviewCardText *m_response;
    QList<std::pair<ReviewCardLayout::Button, QPushButton *>> m_buttons;
    QToolButton *m_share = nullptr;
    QMenu *m_shareMenu;
    bool m_marked = false;
};

}  // namespace Vantorel
