# The playbook run as one JSON document on standard output, for the fleet
# test to read instead of Ansible's text: every task's result per host and
# the per-host totals of the play recap.
from __future__ import annotations

import json
import time

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = """
name: fleet_json
type: stdout
short_description: the whole run as one JSON document
description: Task results per host and the recap totals, printed at the end.
"""


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "stdout"
    CALLBACK_NAME = "fleet_json"

    def __init__(self):
        super().__init__()
        self.plays = []

    def _close(self):
        """Stamps the running task with its wall time, from its start to now."""
        if self.plays and self.plays[-1]["tasks"] and "_start" in self.plays[-1]["tasks"][-1]:
            last = self.plays[-1]["tasks"][-1]
            last["seconds"] = round(time.monotonic() - last.pop("_start"), 2)

    def v2_playbook_on_play_start(self, play):
        self._close()
        self.plays.append({"play": play.get_name(), "tasks": []})

    def _task(self, task):
        self._close()
        self.plays[-1]["tasks"].append({"task": task.get_name(), "hosts": {}, "_start": time.monotonic()})

    def v2_playbook_on_task_start(self, task, is_conditional):
        self._task(task)

    def v2_playbook_on_handler_task_start(self, task):
        self._task(task)

    def _record(self, result, status):
        entry = dict(result._result)
        entry["status"] = status
        tasks = self.plays[-1]["tasks"]
        # A task started without a start event (an implicit one) gets its own entry.
        if not tasks or tasks[-1]["task"] != result._task.get_name():
            self._task(result._task)
        tasks[-1]["hosts"][result._host.get_name()] = entry

    def v2_runner_on_ok(self, result):
        self._record(result, "changed" if result._result.get("changed") else "ok")

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, "ignored" if ignore_errors else "failed")

    def v2_runner_on_skipped(self, result):
        self._record(result, "skipped")

    def v2_runner_on_unreachable(self, result):
        self._record(result, "unreachable")

    def v2_playbook_on_stats(self, stats):
        self._close()
        hosts = sorted(stats.processed)
        summary = {h: stats.summarize(h) for h in hosts}
        doc = {"plays": self.plays, "stats": summary}
        self._display.display(json.dumps(doc, default=str, sort_keys=True))
