#pragma once

// The whole program on a chosen day, in its own folders, for the tests of its windows.

#include "app/main_window.h"
#include "event_builder.h"
#include "scripted_prompts.h"
#include "test_env.h"
#include "ui/grid_label.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

/// The seams of one program run; start() makes the main window and runs its start-up.
struct Program
{
    TestEnv env;
    FixedClock clock{QDate(2021, 11, 25)};
    ScriptedPrompts prompts;
    std::unique_ptr<Form1> window;

    AppServices services{
        clock, prompts, env.settings(), {env.programFolder(), env.machineDataRoot(), env.userDataRoot()}};

    void start(int busyTimeoutMs = 5000)
    {
        window = std::make_unique<Form1>(services);
        window->state().EventConnection.setBusyTimeout(busyTimeoutMs);
        window->Form_Load();
    }
    /// Puts a file beside the program: the built hand pointer, or the given bytes.
    void putBesideProgram(const QString& name, const QByteArray& bytes = {}) const
    {
        const QString file = env.programFolder() + '/' + name;
        QDir().mkpath(QFileInfo(file).path());
        if (bytes.isNull()) {
            QVERIFY(QFile::copy(QUILLMOOR_CURSOR_FILE, file));
            return;
        }
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    /// Runs `act` on the next modal dialog once it is up, then closes it if it is still open.
    static void whenModal(const std::function<void(QDialog&)>& act)
    {
        QTimer::singleShot(0, [act] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                act(*dialog);
                dialog->reject();
            }
        });
    }
    void add(const Events& events) const
    {
        for (const EventRecord& event : events)
            window->state().EventConnection.insert(event);
    }
    QStringList titles() const
    {
        QStringList all;
        window->state().EventConnection.forEachEvent([&](const EventRecord& e) { all << e.title; });
        return all;
    }
    QLabel* label(const QString& name) const { return window->findChild<QLabel*>(name); }
    QPushButton* button(const QString& name) const { return window->findChild<QPushButton*>(name); }
    GridLabel* cell(int i) const { return window->findChild<GridLabel*>(QStringLiteral("lblday_%1").arg(i)); }
};
