// Placed ahead of Qt's headers for the model, summary and engine layers, which link Qt Core only.
#error "Kelvo's core layers (model, summary, engine) must not include Qt Gui or Qt Widgets"
