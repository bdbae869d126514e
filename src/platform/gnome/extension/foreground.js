// Kelvo's GNOME Shell extension: tells Kelvo which application is in front. It owns its own name
// on the session bus and exports, on its one object, the application id of the focused window
// (its desktop-entry id, else its WM class) and the window's process id, announcing each change
// with PropertiesChanged. It sends nothing else to anyone.
//
// This body is shared by both forms of the extension; the build puts the imports of each form
// before it and the entry point of each form after it.

const kelvoBusName = 'org.kelvo.GnomeForeground';
const kelvoObjectPath = '/org/kelvo/GnomeForeground';
const kelvoInterface = `<node>
  <interface name="org.kelvo.GnomeForeground">
    <property name="AppId" type="s" access="read"/>
    <property name="Pid" type="u" access="read"/>
  </interface>
</node>`;
// No application's id comes near this; a longer one is not passed on at all (cut, it would name
// another application).
const kelvoMaxAppIdLength = 4096;
// Linux's largest process id.
const kelvoMaxPid = 4194304;

function kelvoAppOf(window) {
    if (!window)
        return ['', 0];
    let id = '';
    const app = Shell.WindowTracker.get_default().get_window_app(window);
    // A window that matches no desktop entry gets an app of its own, named "window:N".
    if (app && !app.is_window_backed())
        id = String(app.get_id() ?? '');
    if (id.endsWith('.desktop'))
        id = id.slice(0, -'.desktop'.length);
    if (!id)
        id = String(window.get_wm_class() ?? '');
    if (id.length > kelvoMaxAppIdLength)
        id = '';
    const pid = window.get_pid();
    return [id, pid > 0 && pid <= kelvoMaxPid ? pid : 0];
}

class KelvoForeground {
    enable() {
        this._appId = '';
        this._pid = 0;
        this._object = Gio.DBusExportedObject.wrapJSObject(kelvoInterface, this);
        this._object.export(Gio.DBus.session, kelvoObjectPath);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, kelvoBusName,
            Gio.BusNameOwnerFlags.NONE, null, null);
        const update = () => this._update();
        this._tracker = Shell.WindowTracker.get_default();
        this._focusWindowId = global.display.connect('notify::focus-window', update);
        this._focusAppId = this._tracker.connect('notify::focus-app', update);
        this._update();
    }

    disable() {
        global.display.disconnect(this._focusWindowId);
        this._tracker.disconnect(this._focusAppId);
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        this._object = null;
        this._tracker = null;
        this._appId = '';
        this._pid = 0;
    }

    get AppId() {
        return this._appId;
    }

    get Pid() {
        return this._pid;
    }

    _update() {
        const [appId, pid] = kelvoAppOf(global.display.focus_window);
        if (appId === this._appId && pid === this._pid)
            return;
        this._appId = appId;
        this._pid = pid;
        this._object.emit_property_changed('AppId', new GLib.Variant('s', appId));
        this._object.emit_property_changed('Pid', new GLib.Variant('u', pid));
    }
}
