/* An example Quillmoor skin. Copy it to x/o.cjs beside the program (the build's bin/ folder,
   or /usr/lib/quillmoor/ when installed); the main window applies it once at start-up.
   A skin is a Qt style sheet: https://doc.qt.io/qt-6/stylesheet-reference.html
   The day cells and headings keep the colours chosen in "Colors". */

QPushButton {
    color: #1d3557;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #fbfdff, stop: 1 #cfdcea);
    border: 1px solid #6f86a0;
    border-radius: 5px;
    padding: 2px 8px;
}

QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #dde8f3);
}

QPushButton:pressed {
    background-color: #b9cbe0;
}

QToolTip {
    color: #1d3557;
    background-color: #fffbe6;
    border: 1px solid #c9b458;
}
