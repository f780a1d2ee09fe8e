"""Radicale's own multifilesystem storage, whose uploads fail while a trigger file says so.

The trigger is FOLDER.fault beside the storage folder. "500 N" lets N more uploads through and
then fails each with a full disk (ENOSPC), which Radicale 3.1 answers with 500: it has no 507.
"""

import errno
import os

from radicale.storage import multifilesystem


class Collection(multifilesystem.Collection):
    def upload(self, href, item):
        trigger = self._storage._filesystem_folder.rstrip("/") + ".fault"
        try:
            with open(trigger) as f:
                words = f.read().split()
        except FileNotFoundError:
            words = []
        if words[:1] == ["500"]:
            allowed = int(words[1]) if len(words) > 1 else 0
            if allowed <= 0:
                raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC), trigger)
            with open(trigger, "w") as f:
                f.write("500 %d\n" % (allowed - 1))
        return super().upload(href, item)


class Storage(multifilesystem.Storage):
    _collection_class = Collection
