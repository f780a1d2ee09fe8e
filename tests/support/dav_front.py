#!/usr/bin/python3
"""A reverse proxy in front of Radicale, as most deployments have one, that passes every request
through unchanged, except while a trigger file names a way real proxies go wrong:

    dav_front.py PORT RADICALE-PORT TRIGGER-FILE

"redirect": every request is sent back to itself (301), as a proxy whose rewrite rules loop;
"html": every request gets a sign-in web page (200, text/html), as a proxy whose single sign-on
    has lost its session;
"507": every PUT is refused as over quota (507), as a server in front of the storage that keeps
    a quota does (Radicale 3.1 never answers 507 itself).
"""

import http.client
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOP_BY_HOP = {"connection", "keep-alive", "transfer-encoding", "proxy-connection", "upgrade"}
OWN = {"date", "server", "content-length"}  # the front sends its own
SIGN_IN = (b"<!DOCTYPE html>\n<html><head><meta charset=utf-8><title>Sign in</title></head>\n"
           b"<body><form method=post><input name=user><input type=password name=pw></form></body></html>\n")


class Front(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.answer
        raise AttributeError(name)

    def log_message(self, *args):
        pass

    def reply(self, status, headers, body):
        self.send_response(status)
        for name, value in headers:
            if name.lower() not in HOP_BY_HOP | OWN:
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def answer(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        try:
            with open(self.server.trigger) as f:
                fault = f.read().strip()
        except FileNotFoundError:
            fault = ""
        if fault == "redirect":
            self.reply(301, [("Location", "http://%s%s" % (self.headers["Host"], self.path))], b"")
        elif fault == "html":
            self.reply(200, [("Content-Type", "text/html; charset=utf-8")], SIGN_IN)
        elif fault == "507" and self.command == "PUT":
            self.reply(507, [("Content-Type", "text/plain")], b"Quota exceeded\n")
        else:
            back = http.client.HTTPConnection("127.0.0.1", self.server.back_port)
            headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
            back.request(self.command, self.path, body, headers)
            answer = back.getresponse()
            self.reply(answer.status, answer.getheaders(), answer.read())
            back.close()


def main():
    server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Front)
    server.back_port = int(sys.argv[2])
    server.trigger = sys.argv[3]
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()
