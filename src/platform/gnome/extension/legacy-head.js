// GNOME Shell 43 and 44: legacy imports.
'use strict';

const {Gio, GLib, Shell} = imports.gi;

