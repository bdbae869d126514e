// Placed ahead of Qt's headers for the presentation layer (src/ui), which draws nothing itself.
#error "Kelvo's presentation models (src/ui) must not include Qt Widgets; views live in src/ui/widgets"
