package trevalo.sample;

import java.awt.BorderLayout;
import java.awt.Font;
import javax.swing.JFrame;
import javax.swing.JScrollPane;
import javax.swing.JTextArea;
import javax.swing.SwingUtilities;

/** The sample application: a window that shows how the launcher started it. */
public final class SampleApp {
    private SampleApp() {
    }

    public static void main(String[] args) {
        StringBuilder text = new StringBuilder();
        text.append("user.dir = ").append(System.getProperty("user.dir")).append('\n');
        text.append("java.version = ").append(System.getProperty("java.version")).append('\n');
        text.append(args.length).append(" argument(s):\n");
        for (int i = 0; i < args.length; i++) {
            text.append("  [").append(i).append("] \"").append(args[i]).append("\"\n");
        }
        System.out.print(text);
        SwingUtilities.invokeLater(() -> {
            JFrame frame = new JFrame("Trevalo sample application");
            JTextArea area = new JTextArea(text.toString(), 12, 60);
            area.setEditable(false);
            area.setFont(new Font(Font.MONOSPACED, Font.PLAIN, 13));
            frame.getContentPane().add(new JScrollPane(area), BorderLayout.CENTER);
            frame.setDefaultCloseOperation(JFrame.EXIT_ON_CLOSE);
            frame.pack();
            frame.setLocationRelativeTo(null);
            frame.setVisible(true);
        });
    }
}
