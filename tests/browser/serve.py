#!/usr/bin/env python3
"""serve.py PORT-FILE: one small page for every path, over HTTPS (chatgpt.com is on Chromium's
built-in HTTPS list) on 127.0.0.1 for chatgpt.com and other.test, on a free port that it writes to
PORT-FILE once it listens; stops on SIGTERM."""
import http.server
import os
import signal
import ssl
import subprocess
import sys

PAGE = b"<!DOCTYPE html><html><head><title>Kelvo test page</title></head><body>page</body></html>"


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    # The TLS handshake happens in the connection's own thread: a client that connects and
    # waits must not hold up the others.
    def finish_request(self, request, client_address):
        try:
            request = self.tls.wrap_socket(request, server_side=True)
        except OSError:
            return
        super().finish_request(request, client_address)


def main(port_file):
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    certificate, key = port_file + ".cert.pem", port_file + ".key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=chatgpt.com", "-addext",
                    "subjectAltName=DNS:chatgpt.com,DNS:other.test", "-keyout", key,
                    "-out", certificate], capture_output=True, check=True)
    server = Server(("127.0.0.1", 0), Handler)
    server.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.tls.load_cert_chain(certificate, key)
    # Written under another name first, so a reader never sees half a number.
    with open(port_file + ".part", "w", encoding="ascii") as file:
        file.write(str(server.server_address[1]))
    os.rename(port_file + ".part", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main(*sys.argv[1:])
