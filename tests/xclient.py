"""A small X client for the window tests, through libX11: it plays the parts
of a window manager (a _NET_WM_PING) and of another program (a window that
covers blitshow's for a while)."""
import ctypes
import time

CLIENT_MESSAGE = 33
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19

_x = ctypes.CDLL("libX11.so.6")
_ulong = ctypes.c_ulong
_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XDefaultRootWindow.restype = _ulong
_x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x.XInternAtom.restype = _ulong
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XQueryTree.argtypes = [ctypes.c_void_p, _ulong, ctypes.POINTER(_ulong),
                          ctypes.POINTER(_ulong), ctypes.POINTER(ctypes.POINTER(_ulong)),
                          ctypes.POINTER(ctypes.c_uint)]
_x.XGetWMProtocols.argtypes = [ctypes.c_void_p, _ulong, ctypes.POINTER(ctypes.POINTER(_ulong)),
                               ctypes.POINTER(ctypes.c_int)]
_x.XCreateSimpleWindow.restype = _ulong
_x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, _ulong, ctypes.c_int, ctypes.c_int,
                                   ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, _ulong, _ulong]
for _name in ("XMapRaised", "XUnmapWindow", "XDestroyWindow"):
    getattr(_x, _name).argtypes = [ctypes.c_void_p, _ulong]
_x.XWarpPointer.argtypes = [ctypes.c_void_p, _ulong, _ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
_x.XSelectInput.argtypes = [ctypes.c_void_p, _ulong, ctypes.c_long]
_x.XSendEvent.argtypes = [ctypes.c_void_p, _ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x.XPending.argtypes = [ctypes.c_void_p]
_x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x.XGetAtomName.restype = ctypes.c_void_p
_x.XGetAtomName.argtypes = [ctypes.c_void_p, _ulong]
_x.XFree.argtypes = [ctypes.c_void_p]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", _ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", _ulong), ("message_type", _ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class Display:
    """A connection to $DISPLAY for the length of a with-block."""

    def __enter__(self):
        self.d = _x.XOpenDisplay(None)
        if not self.d:
            raise RuntimeError("no X display")
        self.root = _x.XDefaultRootWindow(self.d)
        return self

    def __exit__(self, *_):
        _x.XCloseDisplay(self.d)

    def atom(self, name):
        return _x.XInternAtom(self.d, name.encode(), 0)

    def protocols(self):
        """{top-level window: the names of the protocols it lists in WM_PROTOCOLS}."""
        root, parent, children, n = _ulong(), _ulong(), ctypes.POINTER(_ulong)(), ctypes.c_uint()
        _x.XQueryTree(self.d, self.root, root, parent, children, n)
        found = {}
        for window in children[:n.value]:
            atoms, count = ctypes.POINTER(_ulong)(), ctypes.c_int()
            if _x.XGetWMProtocols(self.d, window, atoms, count):
                found[window] = {atoms[i] for i in range(count.value)}
                _x.XFree(atoms)
        if children:
            _x.XFree(children)
        return {w: {self._name(a) for a in atoms} for w, atoms in found.items()}

    def _name(self, atom):
        pointer = _x.XGetAtomName(self.d, atom)
        name = ctypes.string_at(pointer).decode()
        _x.XFree(pointer)
        return name

    def ping(self, window, timeout):
        """Sends window a _NET_WM_PING, as a window manager does, and tells
        whether its answer came back to the root window within timeout seconds."""
        protocols, ping, stamp = self.atom("WM_PROTOCOLS"), self.atom("_NET_WM_PING"), 4242
        _x.XSelectInput(self.d, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        event = _Event()
        event.client = _ClientMessage(type=CLIENT_MESSAGE, window=window,
                                      message_type=protocols, format=32)
        event.client.data[:3] = [ping, stamp, window]
        _x.XSendEvent(self.d, window, 0, 0, ctypes.byref(event))
        _x.XSync(self.d, 0)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            while _x.XPending(self.d):
                _x.XNextEvent(self.d, ctypes.byref(event))
                c = event.client
                if (c.type == CLIENT_MESSAGE and c.window == self.root
                        and c.message_type == protocols
                        and list(c.data[:3]) == [ping, stamp, window]):
                    return True
            time.sleep(0.01)
        return False

    def move_pointer(self, x, y):
        """Moves the pointer to (x, y) on the screen, as a user's mouse would."""
        _x.XWarpPointer(self.d, 0, self.root, 0, 0, 0, 0, x, y)
        _x.XSync(self.d, 0)

    def managed(self, timeout):
        """Maps a small window of its own and tells whether a window manager
        took it in (reparented it into a frame) within timeout seconds."""
        window = self.cover(0, 0, 10, 10, 0)
        try:
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                root, parent, children, n = (_ulong(), _ulong(), ctypes.POINTER(_ulong)(),
                                             ctypes.c_uint())
                _x.XQueryTree(self.d, window, root, parent, children, n)
                if children:
                    _x.XFree(children)
                if parent.value != self.root:
                    return True
                time.sleep(0.05)
            return False
        finally:
            self.uncover(window)

    def cover(self, x, y, width, height, pixel):
        """Maps a window of one colour over the given place; gives it."""
        window = _x.XCreateSimpleWindow(self.d, self.root, x, y, width, height, 0, 0, pixel)
        _x.XMapRaised(self.d, window)
        _x.XSync(self.d, 0)
        return window

    def uncover(self, window):
        _x.XDestroyWindow(self.d, window)
        _x.XSync(self.d, 0)
