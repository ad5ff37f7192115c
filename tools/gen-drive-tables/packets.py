"""Content of the command packet files Default, DefaultEn and DefaultFr."""

# Packet 0: system shortcuts. (Chinese, English, French name, chord)
SHORTCUTS = [
    ("复制", "COPY", "COPIER", "Ctrl+C"),
    ("粘贴", "PASTE", "COLLER", "Ctrl+V"),
    ("剪切", "CUT", "COUPER", "Ctrl+X"),
    ("撤销", "UNDO", "ANNULER", "Ctrl+Z"),
    ("全选", "SELECT ALL", "TOUT SÉLECTIONNER", "Ctrl+A"),
    ("查找", "FIND", "RECHERCHER", "Ctrl+F"),
    ("新建", "NEW", "NOUVEAU", "Ctrl+N"),
    ("打印", "PRINT", "IMPRIMER", "Ctrl+P"),
    ("保存", "SAVE", "ENREGISTRER", "Ctrl+S"),
    ("运行", "RUN", "EXÉCUTER", "Win+R"),
    ("我的电脑", "COMPUTER", "ORDINATEUR", "Win+E"),
    ("锁定电脑", "LOCK", "VERROUILLER", "Win+L"),
    ("关闭窗口", "CLOSE WINDOW", "FERMER LA FENÊTRE", "Ctrl+F4"),
    ("关闭标签", "CLOSE TAB", "FERMER L'ONGLET", "Alt+V"),
    ("显示桌面", "SHOW DESKTOP", "AFFICHER LE BUREAU", "Win+D"),
]

# Packet 2: mouse functions. (Chinese, English, French name, D2.0 Task)
MOUSE_FUNCTIONS = [
    ("单击左键", "LEFT CLICK", "CLIC GAUCHE", "单击左键()"),
    ("单击右键", "RIGHT CLICK", "CLIC DROIT", "单击右键()"),
    ("单击中键", "MIDDLE CLICK", "CLIC MOLETTE", "单击中键()"),
    ("后退", "BACKWARD", "RECULER", "单击后退键()"),
    ("前进", "FORWARD", "AVANCER", "单击前进键()"),
    ("精准定位", "SNIPER MODE", "MODE PRÉCISION", "精准定位"),
    ("锁定X轴", "LOCK X-AXIS", "VERROUILLER L'AXE X", "锁定X轴"),
    ("锁定Y轴", "LOCK Y-AXIS", "VERROUILLER L'AXE Y", "锁定Y轴"),
    ("DPI循环", "DPI CYCLING", "CYCLE DPI", "DPI循环"),
    ("DPI+", "DPI+", "DPI+", "DPI+"),
    ("DPI-", "DPI-", "DPI-", "DPI-"),
    ("向上滚动", "SCROLL UP", "DÉFILER VERS LE HAUT", "向上滚动"),
    ("向下滚动", "SCROLL DOWN", "DÉFILER VERS LE BAS", "向下滚动"),
    ("向左滚动", "SCROLL LEFT", "DÉFILER À GAUCHE", "向左滚动"),
    ("向右滚动", "SCROLL RIGHT", "DÉFILER À DROITE", "向右滚动"),
    ("报告率+", "REPORT RATE+", "TAUX DE RAPPORT+", "报告率+"),
    ("报告率-", "REPORT RATE-", "TAUX DE RAPPORT-", "报告率-"),
    ("媒体播放器", "MEDIA PLAYER", "LECTEUR MULTIMÉDIA", "媒体播放器"),
    ("播放/暂停", "PLAY/PAUSE", "LECTURE/PAUSE", "播放/暂停"),
    ("停止", "STOP", "ARRÊT", "停止"),
    ("上一曲目", "PREVIOUS TRACK", "PISTE PRÉCÉDENTE", "上一曲目"),
    ("下一曲目", "NEXT TRACK", "PISTE SUIVANTE", "下一曲目"),
    ("提高音量", "VOLUME UP", "VOLUME +", "提高音量"),
    ("降低音量", "VOLUME DOWN", "VOLUME -", "降低音量"),
    ("静音", "MUTE", "MUET", "静音"),
]

# Packet 2's display label in the English and French files.
MOUSE_PACKET_LABEL = "KESTRAFON MG1"

# Game packets of the Chinese file: (Index, Name, Icon, [(item name, chord), ...]).
GAME_PACKETS = [
    (6, "LOL游戏", "image/lol.png", [
        ("升级技能Q", "Ctrl+Q"), ("升级技能W", "Ctrl+W"), ("升级技能E", "Ctrl+E"), ("升级技能R", "Ctrl+R"),
        ("自我施放Q", "Alt+Q"), ("自我施放W", "Alt+W"), ("自我施放E", "Alt+E"), ("自我施放R", "Alt+R"),
        ("显示范围Q", "Shift+Q"), ("显示范围W", "Shift+W"), ("显示范围E", "Shift+E"), ("显示范围R", "Shift+R"),
        ("嘲讽", "Ctrl+1"), ("笑话", "Ctrl+2"), ("跳舞", "Ctrl+3"), ("大笑", "Ctrl+4"),
        ("展示徽章", "Ctrl+6"), ("全体聊天", "Shift+Enter"), ("显示帧数", "Ctrl+F"),
    ]),
    (8, "天涯明月刀", "image/tymyd.png", [
        ("背包", "Alt+B"), ("地图", "Ctrl+M"), ("好友", "Alt+F"), ("队伍", "Alt+T"),
        ("坐骑", "Ctrl+R"), ("截图", "Ctrl+P"),
    ]),
    (9, "梦幻西游", "image/mhxy.png", [
        ("攻击", "Alt+A"), ("法术", "Alt+S"), ("防御", "Alt+D"), ("保护", "Alt+T"),
        ("道具", "Alt+E"), ("人物属性", "Alt+W"), ("召唤兽", "Alt+O"), ("任务", "Alt+Q"),
        ("好友", "Alt+F"), ("给予", "Alt+G"), ("交易", "Alt+X"), ("组队", "Alt+Z"),
        ("帮派", "Alt+B"), ("系统设置", "Alt+C"), ("快捷技能1", "Ctrl+1"), ("快捷技能2", "Ctrl+2"),
        ("快捷技能3", "Ctrl+3"), ("快捷技能4", "Ctrl+4"), ("快捷技能5", "Ctrl+5"), ("快捷技能6", "Ctrl+6"),
        ("快捷技能7", "Ctrl+7"), ("快捷技能8", "Ctrl+8"), ("隐藏玩家", "F9"),
    ]),
    (10, "剑网三", "image/jw3.png", [
        ("轻功", "Shift+Space"), ("背包", "Ctrl+B"), ("地图", "Ctrl+M"), ("切换目标", "Tab"), ("下马", "Alt+X"),
    ]),
    (11, "问道", "image/wd.png", [
        ("攻击", "Alt+A"), ("法术", "Alt+S"), ("防御", "Alt+D"), ("逃跑", "Alt+R"),
        ("道具", "Alt+E"), ("人物属性", "Alt+W"), ("宠物", "Alt+P"), ("任务", "Alt+Q"),
        ("好友", "Alt+F"), ("组队", "Alt+T"), ("自动战斗", "Ctrl+Z"), ("系统设置", "Esc"),
    ]),
    (12, "天龙八部", "image/tlbb.png", [
        ("背包", "Alt+A"), ("人物", "Alt+C"), ("技能", "Alt+S"), ("任务", "Alt+Q"),
        ("好友", "Alt+F"), ("帮会", "Alt+G"), ("组队", "Alt+T"), ("地图", "Tab"),
        ("坐骑", "Ctrl+R"), ("隐藏界面", "Ctrl+5"),
    ]),
]
