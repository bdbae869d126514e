// Placed ahead of Qt's headers for the presentation layer (src/ui), which draws nothing itself:
// the views that use Qt Widgets live in src/ui/widgets.
#error "Kelvo's presentation models (src/ui) must not include Qt Widgets"
