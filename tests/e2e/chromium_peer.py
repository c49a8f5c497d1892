#!/usr/bin/env python3
"""The real browser on a profile it made itself, before and after a repair: Chromium, told that the local test page is
a public site, refuses that page's request to another local port and asks before it launches the editor's scheme; once
the profile is repaired it starts on it without resetting it, lets the request through, launches the scheme with no
prompt, and keeps the grants when it writes its files back, so that a check afterwards finds nothing to repair.

  chromium_peer.py --repair wine --exe build/windows/DivezavuDizuzuDud.exe   (the profile in the Wine user's folders)
  chromium_peer.py --repair native --tool build/native/tools/fixlocalstate/fixlocalstate
DZD_PEER_REPAIR=standin repairs with the reference below in the program's place."""
import argparse, copy, http.server, json, os, pwd, shutil, signal, ssl, subprocess, sys, tempfile, threading, time
from pathlib import Path
from urllib.parse import unquote, urlsplit

SCHEME = 'vezoverove'
LAUNCH = SCHEME + '://silent=yes/'
KINDS = ('loopback_network', 'local_network')
ROOT = Path(__file__).resolve().parents[2]
PAGE = """<!doctype html><script>
const say = (what) => fetch('/said?' + encodeURIComponent(what));
const reach = (port) => fetch('http://127.0.0.1:' + port + '/').then(r => r.text(), () => 'refused');
Promise.all([%d, %d].map(reach)).then(got => say(got.join(' ')))
  .then(() => { location.href = '%s'; setTimeout(() => say('done'), 1500); });
</script>"""


def compact(value):
    return json.dumps(value, separators=(',', ':'), sort_keys=True, ensure_ascii=False)


def same_origin(pattern, origin):
    # The browser's own prompt keys its answer by the origin with the default port spelled out.
    primary, _, secondary = pattern.partition(',')
    return secondary == '*' and primary in (origin, origin + ':443')


def granted(prefs, origins):
    """The profile's settings as the repair must leave them."""
    prefs = copy.deepcopy(prefs)
    for origin in origins:
        prefs.setdefault('protocol_handler', {}).setdefault('allowed_origin_protocol_pairs', {}) \
            .setdefault(origin, {})[SCHEME] = True
        exceptions = prefs.setdefault('profile', {}).setdefault('content_settings', {}).setdefault('exceptions', {})
        for kind in KINDS:
            entries = exceptions.setdefault(kind, {})
            entries.setdefault(origin + ',*', {'setting': 1})
            for pattern, entry in entries.items():
                if same_origin(pattern, origin):
                    entry['setting'] = 1
    return prefs


def key_paths(value, path=()):
    if not isinstance(value, dict):
        return set()
    return set().union(*({path + (k,)} | key_paths(v, path + (k,)) for k, v in value.items()))


def grant_entries(origin):
    """The grants as `"key":value` texts, the way the browser writes them."""
    return ['"%s":%s' % (origin, compact({SCHEME: True}))] + \
           ['"%s,*":%s' % (origin, compact({'setting': 1}))] * len(KINDS)


class Servers:
    """The editor's page over HTTPS, a local helper over HTTP, and what the page says."""
    def __init__(self, work):
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=peer',
                        '-keyout', work / 'key.pem', '-out', work / 'cert.pem'], check=True, capture_output=True, timeout=60)
        self.said, self.lock = [], threading.Condition()
        servers = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                url = urlsplit(self.path)
                if url.path == '/said':
                    with servers.lock:
                        servers.said.append(unquote(url.query))
                        servers.lock.notify_all()
                body = (PAGE % (*servers.ports, LAUNCH) if self.server is servers.page else 'reached').encode()
                self.send_response(200)
                self.send_header('Access-Control-Allow-Origin', '*')
                self.send_header('Content-Type', 'text/html')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        # The helper twice: on the loopback address, and as if on the local network.
        helpers = [http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler) for _ in KINDS]
        self.ports = [h.server_port for h in helpers]
        self.page = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(work / 'cert.pem', work / 'key.pem')
        self.page.socket = tls.wrap_socket(self.page.socket, server_side=True)
        for s in (*helpers, self.page):
            threading.Thread(target=s.serve_forever, daemon=True).start()

    def wait_for(self, what, seconds):
        with self.lock:
            self.lock.wait_for(lambda: what in self.said, seconds)
            return list(self.said)


def visit(user_data, origin, servers, work):
    """The browser opens the editor's page once and ends as at log-off: whether the page reached the helper, and what
    the browser handed to the desktop to open."""
    launches = work / 'launches'
    launches.unlink(missing_ok=True)
    servers.said.clear()
    host = urlsplit(origin).hostname
    port = servers.page.server_port
    # Headless Chromium hands an external scheme to xdg-open once the origin may launch it; this one only notes it.
    env = dict(os.environ, PATH='%s:%s' % (work / 'bin', os.environ['PATH']))
    browser = subprocess.Popen(
        ['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--user-data-dir=%s' % user_data,
         '--ignore-certificate-errors', '--host-resolver-rules=MAP %s 127.0.0.1:%d' % (host, port),
         '--ip-address-space-overrides=127.0.0.1:%d=public,127.0.0.1:%d=local' % (port, servers.ports[1]), origin + '/'],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        said = servers.wait_for('done', 30)
        for _ in range(30):
            if launches.exists():
                break
            time.sleep(0.1)
        os.kill(browser.pid, signal.SIGTERM)  # the browser saves its files and ends, as when the session ends
        browser.wait(20)
    finally:
        if browser.poll() is None:
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()
            sys.exit('chromium did not end')
    assert 'done' in said, 'the page did not run to its end: %s' % said
    return said[0], launches.read_text().splitlines() if launches.exists() else []


def run(command, seconds=60):
    print('$', ' '.join(map(str, command)), flush=True)
    return subprocess.run(command, timeout=seconds).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--repair', choices=('wine', 'native', 'standin'), default='wine')
    parser.add_argument('--exe', default=ROOT / 'build/windows/DivezavuDizuzuDud.exe')
    parser.add_argument('--tool', default=ROOT / 'build/native/tools/fixlocalstate/fixlocalstate')
    parser.add_argument('--origins', nargs='+', default=['https://quillpad.example'], help='the build\'s editor origins')
    args = parser.parse_args()
    repair = os.environ.get('DZD_PEER_REPAIR') or args.repair
    origins = args.origins
    work = Path(tempfile.mkdtemp(prefix='chromium-peer-'))
    (work / 'bin').mkdir()
    (work / 'bin/xdg-open').write_text('#!/bin/sh\necho "$@" >> "%s"\n' % (work / 'launches'))
    (work / 'bin/xdg-open').chmod(0o755)
    if repair == 'wine':
        # The folder the program covers for the Chromium channel of the Wine user running it.
        prefix = Path(os.environ.get('WINEPREFIX') or os.environ.get('DZD_WINEPREFIX') or
                      Path.home() / '.cache/divezavudizuzudud/wineprefix')
        user_data = prefix / 'drive_c/users' / pwd.getpwuid(os.getuid()).pw_name / 'AppData/Local/Chromium/User Data'
        program = lambda mode: run([ROOT / 'scripts/wine-exec.sh', args.exe, '%s://%s=yes/' % (SCHEME, mode)])
        shutil.rmtree(user_data.parent, ignore_errors=True)
    else:
        user_data = work / 'User Data'
    files = lambda: {p: p.read_bytes() for p in [user_data / 'Local State', *sorted(user_data.glob('*/Preferences'))]}

    def repaired():
        if repair == 'wine':
            return program('silent')
        if repair == 'native':
            return run([args.tool, *files()])
        for path in user_data.glob('*/Preferences'):
            path.write_text(compact(granted(json.loads(path.read_bytes()), origins)), encoding='utf-8')
        return 0

    try:
        servers = Servers(work)
        origin = origins[0]
        # Without the grants: the page is refused (headless Chromium answers the prompt with a refusal, and keeps it) and
        # the scheme waits for an answer to its prompt.
        assert visit(user_data, origin, servers, work) == ('refused refused', []), 'an unrepaired profile let the page through'
        version = (user_data / 'Last Version').read_text()
        local_state = json.loads((user_data / 'Local State').read_bytes())
        assert version.split('.')[0].isdigit() and local_state['user_experience_metrics']['stability'][
            'stats_version'].startswith(version + '-'), 'the browser no longer says its version as the program reads it'
        # A scheme excluded the old way: the program turns it off, and the browser keeps what it leaves.
        local_state['protocol_handler'] = {'excluded_schemes': {SCHEME: True, 'afp': True}}
        (user_data / 'Local State').write_text(compact(local_state), encoding='utf-8')

        before = files()
        assert repaired() == 0, 'the repair failed'
        after = files()
        for path, bytes in after.items():
            if path.name == 'Preferences':
                assert json.loads(bytes) == granted(json.loads(before[path]), origins), 'repaired wrongly: %s' % path
                for entry in (e for o in origins for e in grant_entries(o)):
                    assert entry.encode() in bytes, '%s not written as the browser writes it: %s' % (entry, path)

        assert visit(user_data, origin, servers, work) == ('reached reached', [LAUNCH]), 'the grants did not act'
        kept = files()
        for path, bytes in after.items():
            # Not reset (a reset keeps the old file as Preferences.bad and starts afresh): every setting is still there.
            have, had = json.loads(kept[path]), json.loads(bytes)
            assert kept[path] != bytes, 'the browser did not write %s back' % path
            assert not key_paths(had) - key_paths(have), 'lost in %s: %s' % (path, key_paths(had) - key_paths(have))
            if path.name == 'Preferences':
                assert all(e.encode() in kept[path] for o in origins for e in grant_entries(o)), 'grants rewritten'
                for kind in KINDS:
                    assert have['profile']['content_settings']['exceptions'][kind] == \
                        had['profile']['content_settings']['exceptions'][kind], 'changed: %s' % kind
        assert json.loads(kept[user_data / 'Local State'])['protocol_handler'] == \
            json.loads(after[user_data / 'Local State'])['protocol_handler'], 'the browser changed protocol_handler'

        # Nothing left to repair once the browser has run on the profile.
        if repair == 'wine':
            assert program('check') == 0, 'check=yes wants another repair after the browser ran'
        else:
            assert repaired() == 0 and files() == kept, 'a second repair changed the files the browser wrote'
        print('chromium keeps and acts on the grants (%s, repair: %s)' % (version, repair))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if repair == 'wine':
            shutil.rmtree(user_data.parent, ignore_errors=True)


if __name__ == '__main__':
    main()
