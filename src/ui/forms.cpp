#include "forms.h"

#include <QPointer>
#include <QWidget>

namespace klar::ui {
namespace {

QList<QPointer<QWidget>>& LoadedForms() {
    static QList<QPointer<QWidget>> forms;
    forms.removeIf([](const QPointer<QWidget>& form) { return form.isNull(); });
    return forms;
}

} // namespace

void Forms::Loaded(QWidget* form) {
    auto& forms = LoadedForms();
    if (!forms.contains(form)) {
        forms.append(form);
    }
}

void Forms::Unloaded(QWidget* form) {
    LoadedForms().removeAll(form);
}

QList<QWidget*> Forms::All() {
    QList<QWidget*> result;
    for (const auto& form : LoadedForms()) {
        result.append(form.data());
    }
    return result;
}

} // namespace klar::ui
