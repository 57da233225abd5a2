#include "localizer/resstringer.h"

void TResStringer::setResStrings(QList<ResString> strings) {
    // The switch stays as the program set it: an empty section answers
    // nothing by itself, and must not keep the next language's texts off.
    QMutexLocker lock(&mutex_);
    strings_ = std::move(strings);
}

QList<TResStringer::ResString> TResStringer::resStrings() const {
    QMutexLocker lock(&mutex_);
    return strings_;
}

int TResStringer::count() const {
    QMutexLocker lock(&mutex_);
    return int(strings_.size());
}

const TResStringer::ResString* TResStringer::find(int number) const {
    if (number <= 0 || strings_.isEmpty())
        return nullptr;
    // An entry without a usable number sorts as 0, below every real one.
    auto key = [this](qsizetype i) { return strings_[i].hasNumber ? strings_[i].number : 0; };
    qsizetype low = 0;
    qsizetype high = strings_.size() - 1;
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (key(middle) < number)
            low = middle + 1;
        else
            high = middle;
    }
    return key(low) == number ? &strings_[low] : nullptr;
}

QString TResStringer::lookup(int number, const QString& builtin) const {
    QMutexLocker lock(&mutex_);
    if (!translate_)
        return builtin;
    if (const ResString* s = find(number))
        return s->value;
    return fallbacks_.value(builtin, builtin);
}

bool TResStringer::has(int number) const {
    QMutexLocker lock(&mutex_);
    return find(number) != nullptr;
}

void TResStringer::setFallbacks(QHash<QString, QString> byEnglish) {
    QMutexLocker lock(&mutex_);
    fallbacks_ = std::move(byEnglish);
}

QHash<QString, QString> TResStringer::fallbacks() const {
    QMutexLocker lock(&mutex_);
    return fallbacks_;
}

bool TResStringer::translate() const {
    QMutexLocker lock(&mutex_);
    return translate_;
}

void TResStringer::setTranslate(bool on) {
    QMutexLocker lock(&mutex_);
    translate_ = on;
}
