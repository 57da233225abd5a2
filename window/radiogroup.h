#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

// A group of radio buttons chosen by index, like a radio-group control:
// items set as texts, one selected at a time, a click reported with the
// new index. Setting the index from code does not emit clicked.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget* parent = nullptr);

    void setItems(const QStringList& items);
    QStringList items() const;
    int itemIndex() const;
    void setItemIndex(int index);
    QString itemText(int index) const;

Q_SIGNALS:
    void clicked(int index);

private:
    QButtonGroup* buttons_;
};
