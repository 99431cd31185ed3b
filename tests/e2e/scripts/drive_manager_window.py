#!/usr/bin/python3
"""Drives the definition manager window as a person would: finds controls through the accessibility
tree, clicks them with the pointer and types with the keyboard (xdotool) on a private Xvfb display.
Creates a definition, edits a field on each tab of its dialog, renames it in place, saves, closes,
starts again and checks that the stored definition is unchanged.

Run inside dbus-run-session:  drive_manager_window.py KIPLAUNCH KIPCTL WORKDIR
Prints one line per step; exits 0 when everything held, 1 with the reason otherwise."""
import os, re, subprocess, sys, time
import pyatspi

KIPLAUNCH, KIPCTL, WORK = sys.argv[1:4]
START_LIST = r"HKCU\Software\Marl Fen\Kip Launch Manager\Start List"
PREFS = r"HKCU\Software\Marl Fen\Kip Launch Manager\Preferences"
children = []


def fail(reason):
    print("FAILED: " + reason, flush=True)
    raise SystemExit(1)


def until(what, probe, limit=15.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def walk(node, depth=0):
    if depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(min(count, 500)):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            yield from walk(child, depth + 1)


def app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == "kiplaunch":
            return a
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find(description=None, name=None, role=None):
    def probe():
        root = app()
        if root is None:
            return None
        for node in walk(root):
            try:
                if description is not None and node.description != description:
                    continue
                if name is not None and node.name != name:
                    continue
                if role is not None and node.getRoleName() != role:
                    continue
                if showing(node):
                    return node
            except Exception:
                continue
        return None
    return until(f"{description or ''} {name or ''} {role or ''}".strip(), probe)


def gone(description):
    def probe():
        root = app()
        if root is None:
            return True
        for node in walk(root):
            try:
                if node.description == description and showing(node):
                    return False
            except Exception:
                continue
        return True
    until(description + " to close", probe)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=10)
    time.sleep(0.3)


def click(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdo("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")


def keys(*names):
    for name in names:
        xdo("key", "--clearmodifiers", name)


def type_text(text):
    xdo("type", "--delay", "20", text)


def kipctl(*args):
    return subprocess.run([KIPCTL, *args], capture_output=True, text=True, timeout=20, env=env)


def start_program(extra=None):
    proc = subprocess.Popen([KIPLAUNCH], env=dict(env, **(extra or {})), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    children.append(proc)
    find(name="Kip Launch Manager", role="frame")
    return proc


def close_program(proc):
    click(find(description="ProgramListView", role="tree"))
    keys("alt+f")
    click(find(name="Exit", role="menu item"))
    try:
        proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        fail("kiplaunch did not end after File, Exit")


def wm_announced():
    return "_NET_ACTIVE_WINDOW" in subprocess.run(["xprop", "-root", "_NET_SUPPORTED"], capture_output=True,
                                                  text=True, timeout=10).stdout


def start_window_manager():
    """Starts openbox and waits for its announcement; a start that fails or hangs is tried again, and what
    openbox said is kept for the failure message."""
    said = []
    for attempt in range(3):
        log_path = f"{WORK}/openbox-{attempt}.log"
        with open(log_path, "w") as log:
            wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=log, stderr=log)
        children.append(wm)
        deadline = time.monotonic() + 10.0
        while time.monotonic() < deadline and wm.poll() is None and not wm_announced():
            time.sleep(0.2)
        if wm.poll() is None and wm_announced():
            return wm
        wm.kill()
        wm.wait()
        with open(log_path) as log:
            said.append(f"attempt {attempt + 1} (status {wm.returncode}): {log.read().strip()}")
    fail("the window manager did not start: " + " | ".join(said))


def edits_at_once():
    """The window disables Alpha, Beta and Gamma while kipctl changes Alpha, removes Beta, imports Gamma and
    changes Delta. Back in the window, Delta's row shows kipctl's version. A first Ctrl+S is cancelled and
    writes nothing; a second replaces Alpha and keeps Beta removed and the imported Gamma."""
    base, log = START_LIST + "\\", WORK + "/prompts.log"
    for name in ("Alpha", "Beta", "Gamma", "Delta"):
        kipctl("reg", "add", base + name, "/v", "Module", "/d", "/usr/bin/" + name.lower(), "/f")
    proc = start_program({"KIPLAUNCH_PROMPT_ANSWERS": "cynn"})
    click(find(description="ProgramListView", role="tree"))
    for moves in (["Home"], ["Down"], ["Down", "Down"]):  # rows Alpha, Beta, Delta, Gamma, Sleeper
        keys(*moves, "Menu")
        time.sleep(1)
        keys("i")  # "D&isable" of the row's pop-up menu
    with open(WORK + "/gamma.txt", "w", newline="") as f:
        f.write("[Gamma]\r\nModule=/opt/gamma\r\n\r\n")
    for args in (("reg", "add", base + "Alpha", "/v", "Parms", "/d", "--other", "/f"), ("import", WORK + "/gamma.txt",
                 "--yes"), ("reg", "delete", base + "Beta", "/f"), ("reg", "add", base + "Delta", "/d", "/opt/delta",
                 "/v", "Module", "/f")):
        if kipctl(*args).returncode != 0:
            fail("kipctl " + " ".join(args))
    keys("alt+h")  # to the about box and back: the window is activated again
    click(find(name="About...", role="menu item"))
    click(find(description="OKButton"))
    find(name="/opt/delta")
    before = kipctl("reg", "query", START_LIST, "/s").stdout
    keys("ctrl+s")
    time.sleep(1)
    if kipctl("reg", "query", START_LIST, "/s").stdout != before:
        fail("a cancelled save wrote to the hive")
    keys("ctrl+s")
    find(name="/opt/gamma")
    close_program(proc)
    with open(log) as f:
        asked = [line[10:line.find(" ", 10)] for line in f if line.endswith(
            " was changed by another program since it was loaded. Replace it with your version?\n")]
    stored = {name: kipctl("reg", "query", base + name).stdout for name in ("Alpha", "Beta", "Gamma", "Delta")}
    if asked != ["Alpha", "Alpha", "Beta", "Gamma"] or "Disable    REG_DWORD    0x1" not in stored["Alpha"] or \
            "--other" in stored["Alpha"] or stored["Beta"] or "/opt/gamma" not in stored["Gamma"] or \
            "Disable    REG_DWORD    0x0" not in stored["Gamma"] or "/opt/delta" not in stored["Delta"]:
        fail(f"asked about {asked}, stored {stored}")
    print("nothing lost", flush=True)


def main():
    # Xvfb picks a free display number itself and tells it through a pipe.
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
    children.append(xvfb)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    if not number.isdigit():
        fail("Xvfb did not start")
    display = ":" + number
    os.environ["DISPLAY"] = display
    until("the display", lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0)
    wm = start_window_manager()
    children.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    time.sleep(1)
    env["DISPLAY"] = display
    kipctl("reg", "add", PREFS, "/v", "Splash", "/t", "REG_DWORD", "/d", "0", "/f")

    proc = start_program()
    print("window shown", flush=True)
    click(find(description="ProgramListView", role="tree"))
    keys("Insert")
    find(description="TProgramForm")
    click(find(description="ModuleName"))
    type_text("/bin/sleep")
    click(find(name="Conditions", role="page tab"))
    click(find(name="Mains Only", role="radio button"))
    click(find(name="Times", role="page tab"))
    click(find(description="CB_days"))
    click(find(description="CB_day7"))
    click(find(name="Afterwards", role="page tab"))
    click(find(description="CB_wait"))
    click(find(description="OkButton"))
    gone("TProgramForm")
    print("definition created", flush=True)
    # The new row has no name yet: give it one in place.
    click(find(description="ProgramListView", role="tree"))
    keys("Home", "F2")
    type_text("Sleeper")
    keys("Return", "ctrl+s")
    close_program(proc)
    first = kipctl("reg", "query", START_LIST, "/s").stdout
    print("saved", flush=True)
    for expected in ("Start List\\Sleeper", "Module    REG_SZ    /bin/sleep", "Apm    REG_DWORD    0x1"):
        if expected not in first:
            fail(f"the hive lacks {expected!r}:\n{first}")
    if "Days    REG_DWORD    0x7f\n" in first:
        fail("the Times tab's change was not stored:\n" + first)

    proc = start_program()
    find(name="Sleeper")
    print("found again", flush=True)
    close_program(proc)
    second = kipctl("reg", "query", START_LIST, "/s").stdout
    if second != first:
        fail(f"the definition changed between runs:\n{first}\n---\n{second}")
    print("unchanged", flush=True)
    edits_at_once()

    # An autostart run with a start-up delay counts down in its taskbar title, exactly as written;
    # closing that window cancels the run.
    kipctl("reg", "add", PREFS, "/v", "Run", "/t", "REG_DWORD", "/d", "31", "/f")
    proc = subprocess.Popen([KIPLAUNCH, "/r"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    children.append(proc)

    def countdown_window():
        found = subprocess.run(["xdotool", "search", "--name", "^[0-9]+ secs to start, Close to cancel$"],
                               capture_output=True, text=True, timeout=10).stdout.split()
        return found[0] if found else None
    window = until("the countdown title", countdown_window)
    # The title desktops show is _NET_WM_NAME; it must carry nothing after the countdown text.
    shown = subprocess.run(["xprop", "-id", window, "_NET_WM_NAME"], capture_output=True, text=True,
                           timeout=10).stdout.strip()
    if not re.fullmatch(r'_NET_WM_NAME\(UTF8_STRING\) = "[0-9]+ secs to start, Close to cancel"', shown):
        fail("the countdown title is not exact: " + shown)
    print("countdown title", flush=True)
    def activated():
        if wm.poll() is not None:
            fail(f"the window manager ended (status {wm.returncode})")
        return subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True,
                              timeout=10).returncode == 0
    until("the countdown window to be activated", activated)
    keys("alt+F4")
    try:
        proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        fail("closing the countdown window did not end the run")
    print("cancelled", flush=True)


env = dict(os.environ)
env.pop("QT_QPA_PLATFORM", None)
env.update({"KIPLAUNCH_USER_HIVE": WORK + "/user.db", "KIPLAUNCH_MACHINE_HIVE": WORK + "/machine.db",
            "KIPLAUNCH_RUNTIME_DIR": WORK + "/run", "KIPLAUNCH_POWER_SUPPLY_DIR": WORK + "/no-power",
            "KIPLAUNCH_PROMPT_LOG": WORK + "/prompts.log", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1"})
os.makedirs(WORK + "/run", mode=0o700, exist_ok=True)
try:
    main()
finally:
    for child in reversed(children):
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(timeout=5)
            except subprocess.TimeoutExpired:
                child.kill()
