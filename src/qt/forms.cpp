#include "qt/forms.h"

#include "forms/loaded_forms.h"

#include <QWidget>

namespace klar::ui {
namespace {

forms::LoadedForms<QWidget>& LoadedForms() {
    static forms::LoadedForms<QWidget> loaded;
    return loaded;
}

} // namespace

void Forms::Loaded(QWidget* form) {
    if (LoadedForms().Loaded(form)) {
        QObject::connect(form, &QObject::destroyed,
                         [form](QObject*) { LoadedForms().Unloaded(form); });
    }
}

void Forms::Unloaded(QWidget* form) {
    LoadedForms().Unloaded(form);
}

QList<QWidget*> Forms::All() {
    QList<QWidget*> result;
    for (QWidget* form : LoadedForms().All()) {
        result.append(form);
    }
    return result;
}

void Forms::CloseAllBut(const QWidget* keep) {
    LoadedForms().UnloadAllBut(keep, [](QWidget* form) { form->close(); });
}

} // namespace klar::ui
