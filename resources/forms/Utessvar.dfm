object fTessvar: TfTessvar
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Tessvar'
  ClientHeight = 536
  ClientWidth = 760
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnClose = FormClose
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object pTab: TPageControl
    Left = 8
    Top = 8
    Width = 744
    Height = 450
    ActivePage = tabToll
    TabOrder = 0
    OnChange = pTabChange
    object tabToll: TTabSheet
      Caption = 'Tolerance'
      OnEnter = tabTollEnter
      object imgTolerance: TImage
        Left = 8
        Top = 8
        Width = 320
        Height = 300
        Center = True
        Proportional = True
        Stretch = True
      end
      object gbFamily: TGroupBox
        Left = 344
        Top = 8
        Width = 384
        Height = 232
        Caption = 'THREAD STANDARD'
        TabOrder = 0
        object bISO: TButton
          Left = 16
          Top = 28
          Width = 168
          Height = 36
          Caption = 'ISO'
          TabOrder = 0
          OnClick = bISOClick
        end
        object bAnsiAsme: TButton
          Left = 200
          Top = 28
          Width = 168
          Height = 36
          Caption = 'ANSI / ASME'
          TabOrder = 1
          OnClick = bISOClick
        end
        object bSpecial: TButton
          Left = 16
          Top = 76
          Width = 168
          Height = 36
          Caption = 'Special'
          TabOrder = 2
          OnClick = bISOClick
        end
        object bGAS: TButton
          Left = 200
          Top = 76
          Width = 168
          Height = 36
          Caption = 'GAS'
          TabOrder = 3
          OnClick = bISOClick
        end
        object bBUTTRESS: TButton
          Left = 16
          Top = 124
          Width = 168
          Height = 36
          Caption = 'Buttress'
          TabOrder = 4
          OnClick = bISOClick
        end
        object bWhitworth: TButton
          Left = 200
          Top = 124
          Width = 168
          Height = 36
          Caption = 'WHITWORTH'
          TabOrder = 5
          OnClick = bISOClick
        end
        object bSCA: TButton
          Left = 16
          Top = 172
          Width = 168
          Height = 36
          Caption = 'SPLINE'
          TabOrder = 6
          OnClick = bISOClick
          Visible = False
        end
      end
      object gbMode: TGroupBox
        Left = 344
        Top = 252
        Width = 384
        Height = 56
        Caption = 'CALCULATE'
        TabOrder = 1
        object rCalibri: TRadioButton
          Left = 16
          Top = 24
          Width = 170
          Height = 21
          Caption = 'Gage Tolerance'
          Checked = True
          TabOrder = 0
          OnClick = rCalibriClick
        end
        object rWorkpiece: TRadioButton
          Left = 200
          Top = 24
          Width = 176
          Height = 21
          Caption = 'Workpiece Tolerance'
          TabOrder = 1
          OnClick = rWorkpieceClick
        end
      end
      object bMetricStd: TButton
        Left = 8
        Top = 324
        Width = 320
        Height = 30
        Caption = 'Unified metrical threads'
        TabOrder = 2
        OnClick = bMetricStdClick
      end
    end
    object tabMis: TTabSheet
      Caption = 'Measures'
      OnEnter = tabMisEnter
      object pcConvert: TPageControl
        Left = 8
        Top = 8
        Width = 256
        Height = 212
        ActivePage = tb3Wire
        TabOrder = 0
        OnChange = pcConvertChange
        object tb3Wire: TTabSheet
          Caption = '3 wire'
          object img3Wire: TImage
            Left = 0
            Top = 0
            Width = 240
            Height = 176
            Align = alClient
            Center = True
            Proportional = True
            Stretch = True
          end
        end
        object tbStaffe: TTabSheet
          Caption = 'Arms'
          object imgStaffe: TImage
            Left = 0
            Top = 0
            Width = 240
            Height = 176
            Align = alClient
            Center = True
            Proportional = True
            Stretch = True
          end
        end
        object tbTsphere: TTabSheet
          Caption = 'T-sphere'
          object imgTsphere: TImage
            Left = 0
            Top = 0
            Width = 240
            Height = 176
            Align = alClient
            Center = True
            Proportional = True
            Stretch = True
          end
        end
      end
      object gbThread: TGroupBox
        Left = 272
        Top = 8
        Width = 220
        Height = 150
        Caption = 'THREAD'
        TabOrder = 1
        object Label4: TLabel
          Left = 12
          Top = 28
          Caption = 'Diameter'
        end
        object eTD: TEdit
          Left = 96
          Top = 24
          Width = 112
          Height = 23
          TabOrder = 0
          Text = '10'
          OnChange = eTDChange
        end
        object Label6: TLabel
          Left = 12
          Top = 58
          Caption = 'Pitch'
        end
        object eCP: TEdit
          Left = 96
          Top = 54
          Width = 112
          Height = 23
          TabOrder = 1
          Text = '1'
          OnChange = eTDChange
        end
        object Label5: TLabel
          Left = 12
          Top = 88
          Caption = 'Semi-angles'
        end
        object eCA: TEdit
          Left = 96
          Top = 84
          Width = 52
          Height = 23
          TabOrder = 2
          Text = '30'
          OnChange = MeasureInputChange
        end
        object eAG: TEdit
          Left = 156
          Top = 84
          Width = 52
          Height = 23
          TabOrder = 3
          Text = '30'
          OnChange = MeasureInputChange
        end
        object Label7: TLabel
          Left = 12
          Top = 118
          Caption = 'Starts'
        end
        object eNP: TEdit
          Left = 96
          Top = 114
          Width = 52
          Height = 23
          TabOrder = 4
          Text = '1'
          OnChange = MeasureInputChange
        end
      end
      object gbFilo: TGroupBox
        Left = 500
        Top = 8
        Width = 228
        Height = 150
        Caption = 'WIRE'
        TabOrder = 2
        object Label8: TLabel
          Left = 12
          Top = 28
          Caption = 'Diameter'
        end
        object eAD: TEdit
          Left = 104
          Top = 24
          Width = 112
          Height = 23
          TabOrder = 0
          Text = '1'
          OnChange = eTDChange
        end
        object Label9: TLabel
          Left = 12
          Top = 58
          Caption = 'Material'
        end
        object cbMA: TComboBox
          Left = 104
          Top = 54
          Width = 112
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 1
          Items.Strings = (
            'Steel'
            'Tungsten'
            'Aluminum'
            'Ceramic'
            'Ruby')
          OnChange = MeasureInputChange
        end
        object Label10: TLabel
          Left = 12
          Top = 88
          Caption = 'Measure Force'
        end
        object eForce: TEdit
          Left = 104
          Top = 84
          Width = 52
          Height = 23
          TabOrder = 2
          Text = '1'
          OnChange = MeasureInputChange
        end
        object Label11: TLabel
          Left = 162
          Top = 88
          Caption = 'kgf'
        end
        object cSpecial: TCheckBox
          Left = 12
          Top = 116
          Width = 204
          Height = 21
          Caption = 'Compensate deformation'
          Checked = True
          TabOrder = 3
          OnClick = MeasureInputChange
        end
      end
      object lFilo: TLabel
        Left = 326
        Top = 170
        Caption = 'Reading on Wire'
      end
      object StaticText2: TStaticText
        Left = 604
        Top = 170
        Width = 124
        Height = 17
        AutoSize = False
        Caption = 'Pitch diameter'
        TabOrder = 3
      end
      object lTP2: TLabel
        Left = 272
        Top = 196
        Caption = 'Go'
        Visible = False
      end
      object eRead: TEdit
        Left = 326
        Top = 192
        Width = 116
        Height = 23
        TabOrder = 4
        Text = '1'
        OnChange = eTDChange
      end
      object Button1: TButton
        Left = 450
        Top = 190
        Width = 146
        Height = 27
        Caption = '>>>     CALC     >>>'
        TabOrder = 5
        OnClick = Button1Click
      end
      object eResult: TEdit
        Left = 604
        Top = 192
        Width = 124
        Height = 23
        TabOrder = 6
        OnChange = eTDChange
      end
      object lTNP2: TLabel
        Left = 272
        Top = 228
        Caption = 'No-go'
        Visible = False
      end
      object eReadNP: TEdit
        Left = 326
        Top = 224
        Width = 116
        Height = 23
        TabOrder = 7
        Text = '1'
        OnChange = eTDChange
        Visible = False
      end
      object Button2: TButton
        Left = 450
        Top = 222
        Width = 146
        Height = 27
        Caption = '>>>     CALC     >>>'
        TabOrder = 8
        OnClick = Button2Click
        Visible = False
      end
      object eResultNP: TEdit
        Left = 604
        Top = 224
        Width = 124
        Height = 23
        TabOrder = 9
        OnChange = eTDChange
        Visible = False
      end
      object Label28: TLabel
        Left = 8
        Top = 234
        Caption = 'Theoretical'
      end
      object eFiloTeor: TEdit
        Left = 120
        Top = 230
        Width = 144
        Height = 23
        TabOrder = 10
        OnChange = eTDChange
      end
      object bFiloTeor: TButton
        Left = 8
        Top = 260
        Width = 256
        Height = 27
        Caption = 'Cal Theoretical Wire'
        TabOrder = 11
        OnClick = bFiloTeorClick
      end
      object gbToll: TGroupBox
        Left = 8
        Top = 298
        Width = 400
        Height = 108
        Caption = 'TOLERANCE'
        TabOrder = 12
        object Label12: TLabel
          Left = 60
          Top = 20
          Caption = 'upper'
        end
        object Label14: TLabel
          Left = 172
          Top = 20
          Caption = 'lower'
        end
        object lTP: TLabel
          Left = 12
          Top = 44
          Caption = 'Go'
          Visible = False
        end
        object eTsupP: TEdit
          Left = 60
          Top = 40
          Width = 106
          Height = 23
          TabOrder = 0
          OnChange = eTDChange
        end
        object eTinfP: TEdit
          Left = 172
          Top = 40
          Width = 106
          Height = 23
          TabOrder = 1
          OnChange = eTDChange
        end
        object lTNP: TLabel
          Left = 12
          Top = 74
          Caption = 'No-go'
          Visible = False
        end
        object eTsupNP: TEdit
          Left = 60
          Top = 70
          Width = 106
          Height = 23
          TabOrder = 2
          OnChange = eTDChange
          Visible = False
        end
        object eTinfNP: TEdit
          Left = 172
          Top = 70
          Width = 106
          Height = 23
          TabOrder = 3
          OnChange = eTDChange
          Visible = False
        end
        object bQfili: TButton
          Left = 286
          Top = 39
          Width = 106
          Height = 27
          Caption = 'meas.over wires'
          TabOrder = 4
          OnClick = bQfiliClick
        end
      end
      object gbPrint: TGroupBox
        Left = 416
        Top = 298
        Width = 312
        Height = 108
        Caption = 'PRINTOUT DATA'
        TabOrder = 13
        object Label13: TLabel
          Left = 12
          Top = 28
          Caption = 'Code'
        end
        object eCodice: TEdit
          Left = 64
          Top = 24
          Width = 236
          Height = 23
          TabOrder = 0
        end
        object Label15: TLabel
          Left = 12
          Top = 58
          Caption = 'Note'
        end
        object eNote: TEdit
          Left = 64
          Top = 54
          Width = 236
          Height = 23
          TabOrder = 1
        end
        object bPrint: TButton
          Left = 208
          Top = 80
          Width = 92
          Height = 24
          Caption = 'Print'
          TabOrder = 2
          OnClick = bPrintClick
        end
      end
    end
    object tabUnit: TTabSheet
      Caption = 'Unit'
      OnEnter = tabTollEnter
      object gbConvert: TGroupBox
        Left = 8
        Top = 8
        Width = 720
        Height = 260
        Caption = 'Convert Measurement Unit'
        TabOrder = 0
        object Label20: TLabel
          Left = 104
          Top = 24
          Caption = 'from'
        end
        object Label21: TLabel
          Left = 436
          Top = 24
          Caption = 'to'
        end
        object lConvL: TLabel
          Left = 12
          Top = 52
          Caption = 'Length'
        end
        object eStart: TEdit
          Left = 104
          Top = 48
          Width = 132
          Height = 23
          TabOrder = 0
          OnChange = ConvertClick
        end
        object cStart: TComboBox
          Left = 244
          Top = 48
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 1
          Items.Strings = (
            'mm'
            'meter'
            'Km'
            'inches'
            'feet'
            'miles')
        end
        object bSwitch: TButton
          Left = 388
          Top = 46
          Width = 40
          Height = 27
          Caption = '<->'
          TabOrder = 2
          OnClick = bSwitchClick
        end
        object eEnd: TEdit
          Left = 436
          Top = 48
          Width = 132
          Height = 23
          TabOrder = 3
          Color = clInfoBk
          Enabled = False
        end
        object cEnd: TComboBox
          Left = 576
          Top = 48
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 3
          TabOrder = 4
          Items.Strings = (
            'mm'
            'meter'
            'Km'
            'inches'
            'feet'
            'miles')
          OnChange = cEndChange
        end
        object lConvT: TLabel
          Left = 12
          Top = 92
          Caption = 'Temperature'
        end
        object eStartT: TEdit
          Left = 104
          Top = 88
          Width = 132
          Height = 23
          TabOrder = 5
          OnChange = ConvertTClick
        end
        object cStartT: TComboBox
          Left = 244
          Top = 88
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 6
          Items.Strings = (
            '°C'
            '°F'
            '°K')
        end
        object bSwitchT: TButton
          Left = 388
          Top = 86
          Width = 40
          Height = 27
          Caption = '<->'
          TabOrder = 7
          OnClick = bSwitchTClick
        end
        object eEndT: TEdit
          Left = 436
          Top = 88
          Width = 132
          Height = 23
          TabOrder = 8
          Color = clInfoBk
          Enabled = False
        end
        object cEndT: TComboBox
          Left = 576
          Top = 88
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 1
          TabOrder = 9
          Items.Strings = (
            '°C'
            '°F'
            '°K')
          OnChange = cEndTChange
        end
        object lConvM: TLabel
          Left = 12
          Top = 132
          Caption = 'Mass'
        end
        object eStartM: TEdit
          Left = 104
          Top = 128
          Width = 132
          Height = 23
          TabOrder = 10
          OnChange = ConvertMClick
        end
        object cStartM: TComboBox
          Left = 244
          Top = 128
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 11
          Items.Strings = (
            'Kg'
            'gr'
            'libra'
            'ounce')
        end
        object bSwitchM: TButton
          Left = 388
          Top = 126
          Width = 40
          Height = 27
          Caption = '<->'
          TabOrder = 12
          OnClick = bSwitchMClick
        end
        object eEndM: TEdit
          Left = 436
          Top = 128
          Width = 132
          Height = 23
          TabOrder = 13
          Color = clInfoBk
          Enabled = False
        end
        object cEndM: TComboBox
          Left = 576
          Top = 128
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 2
          TabOrder = 14
          Items.Strings = (
            'Kg'
            'gr'
            'libra'
            'ounce')
          OnChange = cEndMChange
        end
        object lConvA: TLabel
          Left = 12
          Top = 172
          Caption = 'Angle'
        end
        object eStartA: TEdit
          Left = 104
          Top = 168
          Width = 132
          Height = 23
          TabOrder = 15
          OnChange = ConvertAClick
        end
        object cStartA: TComboBox
          Left = 244
          Top = 168
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 16
          Items.Strings = (
            'degree'
            'sexagesimal deg'
            'rad')
        end
        object bSwitchA: TButton
          Left = 388
          Top = 166
          Width = 40
          Height = 27
          Caption = '<->'
          TabOrder = 17
          OnClick = bSwitchAClick
        end
        object eEndA: TEdit
          Left = 436
          Top = 168
          Width = 132
          Height = 23
          TabOrder = 18
          Color = clInfoBk
          Enabled = False
        end
        object cEndA: TComboBox
          Left = 576
          Top = 168
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 2
          TabOrder = 19
          Items.Strings = (
            'degree'
            'sexagesimal deg'
            'rad')
          OnChange = cEndAChange
        end
        object lConvP: TLabel
          Left = 12
          Top = 212
          Caption = 'Pressure'
        end
        object eStartP: TEdit
          Left = 104
          Top = 208
          Width = 132
          Height = 23
          TabOrder = 20
          OnChange = ConvertPClick
        end
        object cStartP: TComboBox
          Left = 244
          Top = 208
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 21
          Items.Strings = (
            'atm'
            'bar'
            'psi')
        end
        object bSwitchP: TButton
          Left = 388
          Top = 206
          Width = 40
          Height = 27
          Caption = '<->'
          TabOrder = 22
          OnClick = bSwitchPClick
        end
        object eEndP: TEdit
          Left = 436
          Top = 208
          Width = 132
          Height = 23
          TabOrder = 23
          Color = clInfoBk
          Enabled = False
        end
        object cEndP: TComboBox
          Left = 576
          Top = 208
          Width = 136
          Height = 23
          Style = csDropDownList
          ItemIndex = 2
          TabOrder = 24
          Items.Strings = (
            'atm'
            'bar'
            'psi')
          OnChange = cEndPChange
        end
      end
    end
    object tabTools: TTabSheet
      Caption = 'Tools'
      OnEnter = tabTollEnter
      object lThermal: TLabel
        Left = 8
        Top = 10
        Caption = 'Thermal expnasion materia'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clWindowText
        Font.Height = -12
        Font.Name = 'Arial'
        Font.Style = [fsBold]
        ParentFont = False
      end
      object gbThermal1: TGroupBox
        Left = 8
        Top = 36
        Width = 356
        Height = 262
        Caption = 'Calculator 1'
        TabOrder = 0
        object lLength1: TLabel
          Left = 12
          Top = 28
          Caption = 'length'
        end
        object eLung1: TEdit
          Left = 168
          Top = 24
          Width = 120
          Height = 23
          TabOrder = 0
          Text = '10'
          OnChange = eTDChange
        end
        object lTemp1: TLabel
          Left = 12
          Top = 60
          Caption = 'temperature'
        end
        object eTemp1: TEdit
          Left = 168
          Top = 56
          Width = 88
          Height = 23
          TabOrder = 1
          OnChange = eTemp1Change
        end
        object cTunit: TComboBox
          Left = 262
          Top = 56
          Width = 60
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 2
          Items.Strings = (
            '°C'
            '°F')
          OnChange = cTunitChange
        end
        object lMaterial1: TLabel
          Left = 12
          Top = 92
          Caption = 'material'
        end
        object cMaterial: TComboBox
          Left = 168
          Top = 88
          Width = 154
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 3
          Items.Strings = (
            'Steel'
            'Alluminum'
            'Carbide'
            'Copper'
            'Inox'
            'Brass'
            'Nickel'
            'Gold'
            'Silver'
            'Titanium'
            'custom')
          OnChange = cMaterialChange
        end
        object lCoeff1: TLabel
          Left = 12
          Top = 124
          Caption = 'coeff. exp.*'
        end
        object eCoExp1: TEdit
          Left = 168
          Top = 120
          Width = 88
          Height = 23
          TabOrder = 4
          Text = '11.5'
          Enabled = False
          OnChange = eTemp1Change
        end
        object lKelvin1: TLabel
          Left = 262
          Top = 124
          Caption = 'k-1'
        end
        object bCalc1: TButton
          Left = 168
          Top = 154
          Width = 154
          Height = 27
          Caption = 'Calculate'
          TabOrder = 5
          OnClick = bCalc1Click
        end
        object lLengthStd1: TLabel
          Left = 12
          Top = 200
          Caption = 'length 20°C | 68°F'
        end
        object eLungStd1: TEdit
          Left = 168
          Top = 196
          Width = 120
          Height = 23
          TabOrder = 6
          OnChange = eTDChange
        end
        object lVariation1: TLabel
          Left = 12
          Top = 232
          Caption = 'variation in length'
        end
        object eDlung1: TEdit
          Left = 168
          Top = 228
          Width = 120
          Height = 23
          TabOrder = 7
          OnChange = eTDChange
        end
      end
      object gbThermal2: TGroupBox
        Left = 372
        Top = 36
        Width = 356
        Height = 262
        Caption = 'Calculator 2'
        TabOrder = 1
        object lLength2: TLabel
          Left = 12
          Top = 28
          Caption = 'length'
        end
        object eLung2: TEdit
          Left = 168
          Top = 24
          Width = 120
          Height = 23
          TabOrder = 0
          Text = '10'
          OnChange = eTDChange
        end
        object lTemp2: TLabel
          Left = 12
          Top = 60
          Caption = 'temperature'
        end
        object eTemp2: TEdit
          Left = 168
          Top = 56
          Width = 88
          Height = 23
          TabOrder = 1
          OnChange = eTemp2Change
        end
        object cTunit2: TComboBox
          Left = 262
          Top = 56
          Width = 60
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 2
          Items.Strings = (
            '°C'
            '°F')
          OnChange = cTunit2Change
        end
        object lMaterial2: TLabel
          Left = 12
          Top = 92
          Caption = 'material'
        end
        object cMaterial2: TComboBox
          Left = 168
          Top = 88
          Width = 154
          Height = 23
          Style = csDropDownList
          ItemIndex = 0
          TabOrder = 3
          Items.Strings = (
            'Steel'
            'Alluminum'
            'Carbide'
            'Copper'
            'Inox'
            'Brass'
            'Nickel'
            'Gold'
            'Silver'
            'Titanium'
            'custom')
          OnChange = cMaterial2Change
        end
        object lCoeff2: TLabel
          Left = 12
          Top = 124
          Caption = 'coeff. exp.*'
        end
        object eCoExp2: TEdit
          Left = 168
          Top = 120
          Width = 88
          Height = 23
          TabOrder = 4
          Text = '11.5'
          Enabled = False
          OnChange = eTemp2Change
        end
        object lKelvin2: TLabel
          Left = 262
          Top = 124
          Caption = 'k-1'
        end
        object bCalc2: TButton
          Left = 168
          Top = 154
          Width = 154
          Height = 27
          Caption = 'Calculate'
          TabOrder = 5
          OnClick = bCalc2Click
        end
        object lLengthStd2: TLabel
          Left = 12
          Top = 200
          Caption = 'length 20°C | 68°F'
        end
        object eLungStd2: TEdit
          Left = 168
          Top = 196
          Width = 120
          Height = 23
          TabOrder = 6
          OnChange = eTDChange
        end
        object lVariation2: TLabel
          Left = 12
          Top = 232
          Caption = 'variation in length'
        end
        object eDlung2: TEdit
          Left = 168
          Top = 228
          Width = 120
          Height = 23
          TabOrder = 7
          OnChange = eTDChange
        end
      end
      object imgThermal: TImage
        Left = 8
        Top = 306
        Width = 240
        Height = 100
        Center = True
        Proportional = True
        Stretch = True
      end
      object lFootnote: TLabel
        Left = 260
        Top = 386
        Caption = '* Avg value for temp near to environmetal one'
      end
    end
  end
  object gbSettings: TGroupBox
    Left = 8
    Top = 466
    Width = 744
    Height = 62
    Caption = ''
    TabOrder = 1
    object cPreview: TCheckBox
      Left = 12
      Top = 22
      Width = 150
      Height = 21
      Caption = 'Show print preview'
      Checked = True
      TabOrder = 0
    end
    object rMM: TRadioButton
      Left = 176
      Top = 22
      Width = 110
      Height = 21
      Caption = 'Millimeters'
      Checked = True
      TabOrder = 1
      OnClick = rMMClick
    end
    object rINCH: TRadioButton
      Left = 292
      Top = 22
      Width = 70
      Height = 21
      Caption = 'Inch'
      TabOrder = 2
      OnClick = rMMClick
    end
    object bLanguage: TButton
      Left = 372
      Top = 19
      Width = 80
      Height = 27
      Caption = 'Language'
      TabOrder = 3
      OnClick = bLanguageClick
      Visible = False
    end
    object lVersion: TLabel
      Left = 456
      Top = 26
      Caption = '--------------'
    end
    object lwwwdravinel: TLabel
      Left = 532
      Top = 26
      Caption = 'www.example.com'
      Cursor = crHandPoint
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clBlue
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsUnderline]
      ParentFont = False
      OnClick = lwwwdravinelClick
    end
    object bExit: TButton
      Left = 656
      Top = 18
      Width = 76
      Height = 27
      Caption = 'Exit'
      TabOrder = 4
      OnClick = bExitClick
    end
  end
  object ZvProject1: TZvProject
  end
end
