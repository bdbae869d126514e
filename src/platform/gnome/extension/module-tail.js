
export default class KelvoForegroundExtension extends Extension {
    enable() {
        this._foreground = new KelvoForeground();
        this._foreground.enable();
    }

    disable() {
        this._foreground.disable();
        this._foreground = null;
    }
}
