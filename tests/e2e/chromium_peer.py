#!/usr/bin/env python3
"""Chromium on a profile it made, before and after a repair. Told that the editor's page (served locally) is a public
site, it refuses the page's requests to the helper on the loopback address and on the local network, and prompts before
it launches the editor's scheme; on the repaired profile it starts without resetting it, lets both requests through,
launches the scheme with no prompt, and keeps the grants when it writes its files back: a check then finds nothing to do.
  --repair wine: the program under Wine, on the Chromium profile in the Wine user's local application data
  --repair native: the portable repair (fixlocalstate) on the profile's files"""
import argparse, http.server, json, os, pwd, shutil, signal, ssl, subprocess, sys, tempfile, threading, time
from pathlib import Path
from urllib.parse import unquote, urlsplit

SCHEME, KINDS = 'vezoverove', ('loopback_network', 'local_network')
LAUNCH = SCHEME + '://silent=yes/'
ROOT = Path(__file__).resolve().parents[2]
PAGE = """<!doctype html><script>
const say = (what) => fetch('/said?' + encodeURIComponent(what));
const reach = (port) => fetch('http://127.0.0.1:' + port + '/').then(r => r.text(), () => 'refused');
Promise.all([%d, %d].map(reach)).then(got => say(got.join(' ')))
  .then(() => { location.href = '%s'; setTimeout(() => say('done'), 1500); });
</script>"""


def granted(prefs, origins):
    """The profile's settings as the repair must leave them."""
    for origin in origins:
        prefs.setdefault('protocol_handler', {}).setdefault('allowed_origin_protocol_pairs', {}) \
            .setdefault(origin, {})[SCHEME] = True
        exceptions = prefs.setdefault('profile', {}).setdefault('content_settings', {}).setdefault('exceptions', {})
        for kind in KINDS:
            entries = exceptions.setdefault(kind, {})
            entries.setdefault(origin + ',*', {'setting': 1})
            # The browser's own prompt keys its answer by the origin with the default port spelled out.
            for pattern in (origin + ',*', origin + ':443,*'):
                entries.get(pattern, {}).update(setting=1)
    return prefs


def grants_of(prefs):
    exceptions = prefs.get('profile', {}).get('content_settings', {}).get('exceptions', {})
    return [prefs.get('protocol_handler', {}).get('allowed_origin_protocol_pairs')] + [exceptions.get(k) for k in KINDS]


def key_paths(value, path=()):
    return set().union(*({path + (k,)} | key_paths(v, path + (k,)) for k, v in value.items())) \
        if isinstance(value, dict) else set()


class Handler(http.server.BaseHTTPRequestHandler):
    """The editor's page over HTTPS, the helper over HTTP twice (on loopback, and as if on the local network)."""
    said, told = [], threading.Condition()

    log_message = lambda *args: None

    def do_GET(self):
        url = urlsplit(self.path)
        if url.path == '/said':
            with Handler.told:
                Handler.said.append(unquote(url.query))
                Handler.told.notify_all()
        body = (PAGE % (*Handler.ports, LAUNCH) if self.server is Handler.page else 'reached').encode()
        self.send_response(200)
        self.send_header('Access-Control-Allow-Origin', '*')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    @staticmethod
    def serve(work):
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=peer',
                        '-keyout', work / 'key', '-out', work / 'cert'], check=True, capture_output=True, timeout=60)
        servers = [http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler) for _ in range(3)]
        Handler.page, Handler.ports = servers[0], [s.server_port for s in servers[1:]]
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(work / 'cert', work / 'key')
        Handler.page.socket = tls.wrap_socket(Handler.page.socket, server_side=True)
        for s in servers:
            threading.Thread(target=s.serve_forever, daemon=True).start()


def visit(user_data, origin, work):
    """The browser opens the editor's page and ends as at log-off: what the page reached, and what the browser handed
    the desktop to open (headless Chromium hands an external scheme to xdg-open; ours only notes it)."""
    launches = work / 'launches'
    launches.unlink(missing_ok=True)
    Handler.said.clear()
    page = Handler.page.server_port
    browser = subprocess.Popen(
        ['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--user-data-dir=%s' % user_data,
         '--ignore-certificate-errors', '--host-resolver-rules=MAP %s 127.0.0.1:%d' % (urlsplit(origin).hostname, page),
         '--ip-address-space-overrides=127.0.0.1:%d=public,127.0.0.1:%d=local' % (page, Handler.ports[1]), origin + '/'],
        env=dict(os.environ, PATH='%s:%s' % (work, os.environ['PATH'])),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        with Handler.told:
            Handler.told.wait_for(lambda: 'done' in Handler.said, 30)
        for _ in range(30):
            if not launches.exists():
                time.sleep(0.1)
        os.kill(browser.pid, signal.SIGTERM)  # it saves its files and ends, as when the session ends
        browser.wait(20)
    finally:
        if browser.poll() is None:
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()
            sys.exit('chromium did not end')
    assert 'done' in Handler.said, 'the page did not run to its end: %s' % Handler.said
    return Handler.said[0], launches.read_text().splitlines() if launches.exists() else []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--repair', choices=('wine', 'native'), default='wine')
    parser.add_argument('--exe', default=ROOT / 'build/windows/DivezavuDizuzuDud.exe')
    parser.add_argument('--tool', default=ROOT / 'build/native/tools/fixlocalstate/fixlocalstate')
    parser.add_argument('--origins', nargs='+', required=True, help="the build's editor origins")
    args = parser.parse_args()
    repair, origins = args.repair, args.origins
    work = Path(tempfile.mkdtemp(prefix='chromium-peer-'))
    (work / 'xdg-open').write_text('#!/bin/sh\necho "$@" >> "%s"\n' % (work / 'launches'))
    (work / 'xdg-open').chmod(0o755)
    user_data = work / 'User Data'
    if repair == 'wine':
        prefix = Path(os.environ.get('WINEPREFIX') or os.environ.get('DZD_WINEPREFIX') or
                      Path.home() / '.cache/divezavudizuzudud/wineprefix')
        user_data = prefix / 'drive_c/users' / pwd.getpwuid(os.getuid()).pw_name / 'AppData/Local/Chromium/User Data'
        shutil.rmtree(user_data.parent, ignore_errors=True)
    files = lambda: {p: p.read_bytes() for p in [user_data / 'Local State', *sorted(user_data.glob('*/Preferences'))]}

    def program(mode):  # natively the portable repair, which has no check
        command = ([ROOT / 'scripts/wine-exec.sh', args.exe, '%s://%s=yes/' % (SCHEME, mode)] if repair == 'wine'
                   else [args.tool, *files()])
        print('$', ' '.join(map(str, command)), flush=True)
        return subprocess.run(command, timeout=60).returncode

    try:
        Handler.serve(work)
        # Headless Chromium answers the requests' prompt with a refusal, and keeps it; the scheme's waits unanswered.
        assert visit(user_data, origins[0], work) == ('refused refused', []), 'an unrepaired profile let the page through'
        version = (user_data / 'Last Version').read_text()
        local_state = json.loads((user_data / 'Local State').read_bytes())
        assert version.split('.')[0].isdigit() and local_state['user_experience_metrics']['stability'][
            'stats_version'].startswith(version + '-'), 'the browser no longer says its version as the program reads it'
        # A scheme excluded the old way: the program turns it off, and the browser keeps what it leaves.
        local_state['protocol_handler'] = {'excluded_schemes': {'afp': True, SCHEME: True}}
        (user_data / 'Local State').write_text(json.dumps(local_state, separators=(',', ':'), sort_keys=True,
                                                          ensure_ascii=False), encoding='utf-8')

        before = files()
        assert program('silent') == 0, 'the repair failed'
        after = files()
        for path in (p for p in after if p.name == 'Preferences'):
            got, want = json.loads(after[path]), granted(json.loads(before[path]), origins)
            assert got == want, 'repaired wrongly: %s\n%s\nwanted:\n%s' % (path, grants_of(got), grants_of(want))
            texts = ['"%s":{"%s":true}' % (o, SCHEME) for o in origins] + ['"%s,*":{"setting":1}' % o for o in origins]
            assert all(t.encode() in after[path] for t in texts), 'not as the browser writes'

        seen = visit(user_data, origins[0], work)
        assert seen == ('reached reached', [LAUNCH]), 'the grants did not act: %s' % (seen,)
        kept = files()
        for path, bytes in after.items():
            # Not reset (a reset keeps the old file as Preferences.bad and starts afresh): every setting is still there.
            have, had = json.loads(kept[path]), json.loads(bytes)
            assert kept[path] != bytes, 'the browser did not write %s back' % path
            assert not key_paths(had) - key_paths(have), 'lost in %s: %s' % (path, key_paths(had) - key_paths(have))
            ours = grants_of if path.name == 'Preferences' else lambda settings: settings['protocol_handler']
            assert ours(have) == ours(had), 'the browser changed what the repair wrote: %s' % (ours(have),)

        # Nothing left to repair once the browser has run on the profile.
        if repair == 'wine':
            assert program('check') == 0, 'check=yes wants another repair after the browser ran'
        else:
            assert program('silent') == 0 and files() == kept, 'a second repair changed the files the browser wrote'
        print('chromium %s keeps the grants and acts on them (repair: %s)' % (version, repair))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if repair == 'wine':
            shutil.rmtree(user_data.parent, ignore_errors=True)


if __name__ == '__main__':
    main()
