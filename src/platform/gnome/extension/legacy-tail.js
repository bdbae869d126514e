
function init() {
    return new KelvoForeground();
}
