#!/usr/bin/env python3
"""Serves the page's folder on 127.0.0.1 for local viewing and for the page
check. Sends the headers that make the page cross-origin isolated and the
right type for .wasm. Prints the address once it listens (--port 0: any
free port). --no-isolation leaves the headers out, as a plain static server
would: the page then runs its one-thread build."""
import argparse
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript", ".data": "application/octet-stream"}

    def end_headers(self):
        if self.server.isolated:
            self.send_header("Cross-Origin-Opener-Policy", "same-origin")
            self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, format, *args):
        if self.server.verbose:
            super().log_message(format, *args)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--dir", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--quiet", action="store_true")
    parser.add_argument("--no-isolation", action="store_true")
    opts = parser.parse_args()
    handler = functools.partial(Handler, directory=opts.dir)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", opts.port), handler)
    server.verbose = not opts.quiet
    server.isolated = not opts.no_isolation
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
